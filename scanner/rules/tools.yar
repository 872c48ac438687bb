// Attacker tools in any server language: traffic relays and database dumpers.

rule http_socket_tunnel
{
    meta:
        description = "A SOCKS-over-HTTP tunnel: socket commands and state carried in X-CMD / X-STATUS / X-TARGET headers"
    strings:
        $h1 = "X-CMD" nocase
        $h2 = "X-STATUS" nocase
        $h3 = "X-TARGET" nocase
        $h4 = "X-ERROR" nocase
        $c1 = "CONNECT" fullword
        $c2 = "DISCONNECT" fullword
        $c3 = "FORWARD" fullword
    condition:
        3 of ($h*) and 2 of ($c*)
}

rule db_table_dumper
{
    meta:
        description = "An ASP or ASP.NET page that logs into a database with credentials written in it and streams whole tables to the visitor (a database dumper)"
    strings:
        $c1 = /uid\s*=[^;"]{0,40};\s*pwd\s*=/ nocase
        $c2 = /user id\s*=[^;"]{0,40};\s*password\s*=/ nocase
        $f = "response.flush" nocase
        $r1 = ".fields" nocase
        $r2 = /\.get(value|string)\s*\(/ nocase
        $r3 = "executereader" nocase
        $r4 = /\.rows\s*[\[.]/ nocase
        $w = "response.write" nocase
    condition:
        filesize < 10KB and any of ($c*) and $f and $w and any of ($r*)
}

rule subnet_web_scanner
{
    meta:
        description = "Scans the server's own /24 network for web servers: cuts an address after its last dot, requests http://prefix.1 to .255 and reports each page's title and Server header"
    strings:
        $p1 = /lastindexof\s*\(\s*"\."\s*\)\s*\+\s*1/ nocase
        $p2 = /(strrpos|strripos)\s*\(\s*\$[a-z_0-9]{1,20}\s*,\s*["']\.["']\s*\)\s*\+\s*1/ nocase
        $p3 = /instrrev\s*\(\s*\w{1,20}\s*,\s*"\."\s*\)/ nocase
        $l1 = "<256"
        $l2 = "< 256"
        $l3 = "<=255"
        $l4 = "<= 255"
        $h1 = "\"http://\""
        $h2 = "'http://'"
        $t = "<title>" nocase
        $s = "Server" fullword
    condition:
        any of ($p*) and any of ($l*) and any of ($h*) and $t and $s
}

rule sql_writes_script_file
{
    meta:
        description = "SQL that writes a server script to disk: SELECT '<?php ...' INTO OUTFILE (or a hex-encoded script into DUMPFILE)"
    strings:
        $s1 = /select\s+["']\s*<(\?|%)[^\r\n]{0,2000}into\s+(out|dump)file/ nocase
        $s2 = /select\s+0x3c3f[0-9a-f]{10,}[^;]{0,200}into\s+(out|dump)file/ nocase
        $s3 = /select\s+0x3c25[0-9a-f]{10,}[^;]{0,200}into\s+(out|dump)file/ nocase
    condition:
        any of them
}
