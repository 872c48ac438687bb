// ASP.NET (C#, VB.NET, JScript.NET) back doors, by what they do.

rule aspx_eval_request_input
{
    meta:
        description = "JScript.NET eval of request input: the one-line shells"
    strings:
        $e1 = /\beval\s*\(\s*([a-z_][a-z0-9_]{0,20}\s*\.\s*){0,3}request\s*(\.\s*(item|form|querystring|headers|params|cookies)\s*)?[\[(]/ nocase
        $e2 = /\beval\s*\(\s*(system\.text\.encoding\.\w{2,10}\.getstring\s*\(\s*)?(system\.)?convert\.frombase64string\s*\(\s*request/ nocase
        $e3 = /\beval\s*\([^;\r\n]{0,200}request\s*(\.\s*(item|form|querystring|headers|params)\s*)?[\[(][^;\r\n]{0,100}["']unsafe["']/ nocase
    condition:
        any of them
}

rule aspx_process_start
{
    meta:
        description = "Starts processes (cmd.exe and the like) from a page that reads request input"
    strings:
        $p1 = "processstartinfo" nocase
        $p2 = /process\s*\.\s*start\s*\(/ nocase
        $p3 = "new process(" nocase
        $p4 = "wscript.shell" nocase
        $in1 = "request" nocase
        $in2 = "textbox" nocase
        $c1 = "cmd.exe" nocase
        $c2 = "redirectstandardoutput" nocase
        $c3 = "/c " nocase
        $c4 = ".standardoutput" nocase
        $c5 = /\.(exec|run)\s*\(/ nocase
    condition:
        any of ($p*) and any of ($in*) and (any of ($c*) or filesize < 4KB)
}

rule aspx_assembly_load
{
    meta:
        description = "Loads and runs an assembly or compiles code sent in the request (memory shells)"
    strings:
        $l1 = /assembly\s*\.\s*load\s*\(/ nocase
        $l2 = "csharpcodeprovider" nocase
        $l3 = "compileassemblyfromsource" nocase
        $l4 = "vbcodeprovider" nocase
        $l5 = "jscriptcodeprovider" nocase
        $in1 = "request" nocase
        $in2 = "frombase64string" nocase
    condition:
        any of ($l*) and any of ($in*)
}

rule aspx_file_manager
{
    meta:
        description = "File, database and server managers of the ASP.NET shell families (also saved as UTF-16)"
    strings:
        $io1 = "system.io" ascii wide nocase
        $io2 = "directoryinfo" ascii wide nocase
        $io3 = /file\s*\.\s*(delete|copy|move|writealltext|writeallbytes)\s*\(/ nocase
        $io4 = /directory\s*\.\s*(delete|getfiles|getdirectories|createdirectory)\s*\(/ nocase
        $io5 = "filestream" ascii wide nocase
        $io6 = "getlogicaldrives" ascii wide nocase
        $io7 = ".postedfile" ascii wide nocase
        $io8 = "streamwriter" ascii wide nocase
        $sv1 = "cmd.exe" ascii wide nocase
        $sv2 = "processstartinfo" ascii wide nocase
        $sv3 = "sqlconnection" ascii wide nocase
        $sv4 = "oledbconnection" ascii wide nocase
        $sv5 = "xp_cmdshell" ascii wide nocase
        $sv6 = "registrykey" ascii wide nocase
        $sv7 = "serv-u" ascii wide nocase
        $sv8 = "iis://" ascii wide nocase
        $sv9 = "winnt://" ascii wide nocase
        $sv10 = "directoryentry" ascii wide nocase
        $sv11 = "wscript.shell" ascii wide nocase
        $sv12 = "environment.machinename" ascii wide nocase
        $sv13 = "port scan" ascii wide nocase
        $in = "request" ascii wide nocase
    condition:
        $in and 3 of ($io*) and 2 of ($sv*)
}

rule aspx_jscript_eval_unsafe
{
    meta:
        description = "JScript.NET eval with the \"unsafe\" switch, on request data"
    strings:
        $u1 = /\beval\s*\([^;]{0,200}["']unsafe["']/ nocase
        $u2 = /\beval\s*\(\s*[a-z_][a-z0-9_]{0,30}\s*,\s*["'](\\x[0-9a-f]{2}|\\u00)/ nocase
        $in = "request" nocase
    condition:
        any of ($u*) and $in
}

rule aspx_upload_anywhere
{
    meta:
        description = "Saves an upload under a path the request chooses"
    strings:
        $u1 = /\.saveas\s*\(\s*server\.mappath\s*\(\s*request/ nocase
        $u2 = /\.saveas\s*\([^;\r\n]{0,80}request\s*[\[(.]/ nocase
    condition:
        any of them
}

rule aspx_file_writer
{
    meta:
        description = "A page that writes files where and with what the request says"
    strings:
        $w1 = "streamwriter" nocase
        $w2 = /file\s*\.\s*(writealltext|writeallbytes|appendalltext)\s*\(/ nocase
        $w3 = /new\s+filestream\s*\(/ nocase
        $in = "request" nocase
        $p1 = "server.mappath" nocase
        $p2 = "system.io" nocase
        $lib1 = /\bnamespace\s+[a-z_]/ nocase
        $lib2 = "[webmethod" nocase
    condition:
        any of ($w*) and $in and any of ($p*) and not any of ($lib*) and filesize < 60KB
}

rule aspx_sql_or_socket_console
{
    meta:
        description = "A page that runs SQL or opens sockets as the request says (database consoles, port scanners, proxies)"
    strings:
        $s1 = "sqlconnection" nocase
        $s2 = "oledbconnection" nocase
        $s3 = "system.net.sockets" nocase
        $s4 = "tcpclient" nocase
        $q1 = "sqlcommand" nocase
        $q2 = "executereader" nocase
        $q3 = "executenonquery" nocase
        $q4 = ".connect(" nocase
        $q5 = "getstream" nocase
        $in = "request" nocase
    condition:
        any of ($s*) and any of ($q*) and $in
}

rule aspx_jscript_eval_variable
{
    meta:
        description = "JScript.NET eval with a second argument (the security switch, \"unsafe\" spelled in pieces), or of a variable in a small page that reads the request"
    strings:
        $js = /language\s*=\s*["']?jscript/ nocase
        $e2 = /\beval\s*\(\s*[a-z_][a-z0-9_]{0,30}\s*,\s*[a-z_"'][a-z0-9_"']{0,30}\s*\)/ nocase
        $e3 = /\beval\s*\(\s*[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $in = "request" nocase
    condition:
        $js and ($e2 or ($e3 and $in and filesize < 4KB))
}

rule aspx_process_startinfo
{
    meta:
        description = "Fills a process's StartInfo with cmd.exe, or with arguments from the request"
    strings:
        $p1 = /\.startinfo\s*\.\s*filename\s*=/ nocase
        $p2 = /\.startinfo\s*\.\s*arguments\s*=[^;\r\n]{0,80}request/ nocase
        $c1 = "cmd.exe" nocase
        $in = "request" nocase
    condition:
        ($p1 and $c1 and $in) or $p2
}

rule aspx_raw_socket_sniffer
{
    meta:
        description = "Opens a raw IP socket in promiscuous mode: a packet sniffer in a web page"
    strings:
        $r1 = "sockettype.raw" nocase
        $r2 = "iocontrolcode.receiveall" nocase
        $r3 = "protocoltype.ip" nocase
        $r4 = "SIO_RCVALL" nocase
        $r5 = /\.iocontrol\s*\(/ nocase
    condition:
        $r1 and 2 of ($r2, $r3, $r4, $r5)
}

rule aspx_precompiled_shell_loader
{
    meta:
        description = "A stub page that instantiates a shell compiled into the site's bin folder (the WebAdmin2Y family)"
    strings:
        $w = /new\s+webadmin2y\./ nocase
    condition:
        $w
}

rule aspx_eval_split_by_comments
{
    meta:
        description = "A small JScript page whose code is cut up by empty comments and glued from one-letter strings before eval: one-line shells hiding from pattern matching"
    strings:
        $e = /\beval\s*\(/ nocase
        $c = "/*"
        $j = /language\s*=\s*["']?jscript/ nocase
    condition:
        filesize < 2KB and $e and $j and #c >= 6
}

rule aspx_traffic_sniffer
{
    meta:
        description = "A page that sniffs the server's network traffic for FTP passwords and posted HTTP data (raw sockets on a chosen local address)"
    strings:
        $s = "sniff" nocase
        $f = /ftp\s*password/ nocase
        $n = "system.net.sockets" nocase
        $i = "networkinformation" nocase
    condition:
        all of them
}
