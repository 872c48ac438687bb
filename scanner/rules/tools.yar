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
