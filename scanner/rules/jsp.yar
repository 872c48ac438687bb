// JSP back doors, by what they do.

rule jsp_runtime_exec
{
    meta:
        description = "Runs operating-system commands through Runtime.exec or ProcessBuilder"
    strings:
        $r1 = /runtime\s*\.\s*getruntime\s*\(\s*\)\s*\.\s*exec\s*\(/ nocase
        $r2 = /\bruntime\s+\w{1,30}\s*=\s*runtime\s*\.\s*getruntime\s*\(\s*\)/ nocase
        $r3 = /new\s+processbuilder\s*\(/ nocase
        $r4 = /processimpl/ nocase
        $r5 = /\.\s*exec\s*\(\s*new\s+string\s*\[\s*\]\s*\{\s*"(cmd(\.exe)?|\/bin\/(ba)?sh)"/ nocase
    condition:
        any of them
}

rule jsp_write_file_from_request
{
    meta:
        description = "Writes a file whose name or contents come from the request (uploaders of further shells)"
    strings:
        $w1 = /new\s+(java\.io\.)?(fileoutputstream|filewriter|randomaccessfile|printwriter)\s*\([^;]{0,120}request\.getparameter/ nocase
        $w2 = /new\s+(java\.io\.)?(fileoutputstream|filewriter|randomaccessfile)\s*\([^;]{0,120}getrealpath/ nocase
        $w3 = /\.write\s*\(\s*request\.getparameter\s*\([^)]{1,40}\)\s*\.getbytes/ nocase
    condition:
        any of them
}

rule jsp_class_loader
{
    meta:
        description = "Defines and runs classes sent in the request (memory shells)"
    strings:
        $d1 = "defineclass" nocase
        $d2 = "classloader" nocase
        $d3 = "newinstance" nocase
        $in1 = "getparameter" nocase
        $in2 = "getreader" nocase
        $in3 = "getinputstream" nocase
        $c1 = "cipher" nocase
        $c2 = "base64" nocase
    condition:
        2 of ($d*) and any of ($in*) and any of ($c*)
}

rule jsp_file_manager
{
    meta:
        description = "File, database and command managers of the JSP shell families"
    strings:
        $f1 = "java.io.file" nocase
        $f2 = /new\s+file\s*\(/ nocase
        $f3 = ".listfiles" nocase
        $f4 = ".delete()" nocase
        $f5 = "fileoutputstream" nocase
        $f6 = ".renameto" nocase
        $f7 = "listroots" nocase
        $f8 = "mkdir" nocase
        $s1 = "getruntime" nocase
        $s2 = "drivermanager" nocase
        $s3 = "java.net.socket" nocase
        $s4 = "cmd.exe" nocase
        $s5 = "/bin/sh" nocase
        $s6 = "os.name" nocase
        $s7 = "getrealpath" nocase
        $s8 = "password" nocase
        $in = "request.getparameter" nocase
    condition:
        $in and 4 of ($f*) and 2 of ($s*)
}

rule jsp_database_from_request
{
    meta:
        description = "Database managers and dumpers that connect and run SQL as the request says"
    strings:
        $c1 = /getconnection\s*\([^;]{0,150}request\.getparameter/ nocase
        $c2 = /(executequery|executeupdate|execute)\s*\(\s*request\.getparameter/ nocase
        $d = "drivermanager" nocase
        $in = "request.getparameter" nocase
        $q1 = "executequery" nocase
        $q2 = "executeupdate" nocase
        $q3 = "getmetadata" nocase
    condition:
        $c1 or $c2 or ($d and $in and 2 of ($q*))
}

rule jsp_tools_from_request
{
    meta:
        description = "Commands, file writes, database dumps and socket relays driven by request parameters"
    strings:
        $rt = "getruntime" nocase
        $ex = /\.exec\s*\(/ nocase
        $in = "request.getparameter" nocase
        $f1 = /new\s+(java\.io\.)?file\s*\(\s*request\.getparameter/ nocase
        $fw1 = "fileoutputstream" nocase
        $fw2 = "filewriter" nocase
        $nf = /new\s+(java\.io\.)?file\s*\(/ nocase
        $db = "drivermanager" nocase
        $q = "executequery" nocase
        $so = /new\s+(java\.net\.)?socket\s*\(/ nocase
        $is = "getinputstream" nocase
        $os = "getoutputstream" nocase
    condition:
        ($rt and $ex) or $f1 or
        ($in and any of ($fw*) and #nf >= 5) or
        ($db and $q and $fw1) or
        ($so and $is and $os and $in)
}

rule jsp_writes_request_to_file
{
    meta:
        description = "A small page that writes request text to a file named by the request"
    strings:
        $o = /new\s+(java\.io\.)?(fileoutputstream|filewriter|printwriter|randomaccessfile)\s*\(\s*[a-z_][a-z0-9_]{0,30}\s*[,)]/ nocase
        $p = /[a-z_][a-z0-9_]{0,30}\s*=\s*(new\s+string\s*\(\s*)?request\.getparameter\s*\(/ nocase
        $w = ".write(" nocase
    condition:
        filesize < 8KB and $o and $p and $w
}
