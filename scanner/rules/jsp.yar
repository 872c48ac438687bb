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
        // Any class that opens a path for writing, named with or without its
        // package: java.util.logging's FileHandler writes its log lines to
        // whatever file it is given, as FileOutputStream does. A log file under
        // the site's own folder is ordinary, so FileHandler and PrintStream
        // count only with a request-chosen path, not with getRealPath alone.
        $w1 = /new\s+([a-z]{1,12}\.){0,3}(fileoutputstream|filewriter|randomaccessfile|printwriter|printstream|filehandler)\s*\([^;]{0,120}request\.getparameter/ nocase
        $w2 = /new\s+([a-z]{1,12}\.){0,3}(fileoutputstream|filewriter|randomaccessfile)\s*\([^;]{0,120}getrealpath/ nocase
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

rule jsp_reflection_to_runtime
{
    meta:
        description = "Reaches Runtime.exec, ProcessBuilder or defineClass through reflection (Class.forName, getMethod(\"exec\")) so that no plain call shows"
    strings:
        $f1 = /class\s*\.\s*forname\s*\(\s*"java\.lang\.(runtime|processbuilder|processimpl|unixprocess)"/ nocase
        $f2 = /getmethod\s*\(\s*"(exec|getruntime|start)"/ nocase
        $f3 = /getdeclaredmethod\s*\(\s*"(defineclass|exec|forkandexec|getruntime)"/ nocase
        $f4 = /"java\.lang\.runtime"/ nocase
    condition:
        $f1 or $f2 or $f3 or ($f4 and filesize < 20KB)
}

rule jsp_script_engine_eval
{
    meta:
        description = "Evaluates request text as JavaScript (or another language) through javax.script, or request text as an EL expression"
    strings:
        $m1 = "scriptenginemanager" nocase
        $m2 = "getenginebyname" nocase
        $m3 = "elprocessor" nocase
        $m4 = "expressionfactory" nocase
        $e = /\.eval\s*\(/ nocase
        $c = /createvalueexpression\s*\(/ nocase
        $in1 = "getparameter" nocase
        $in2 = "getreader" nocase
        $in3 = "getinputstream" nocase
        $in4 = "getheader" nocase
    condition:
        ((any of ($m1, $m2, $m3) and $e) or ($m4 and $c)) and any of ($in*)
}

rule jsp_unicode_escaped_code
{
    meta:
        description = "Java code of a page written out in \\uXXXX escapes, which the compiler reads as plain text: the code is hidden from eyes and pattern matching"
    strings:
        $u = /\\u00[2-7][0-9a-f]\\u00[2-7][0-9a-f]\\u00[2-7][0-9a-f]/ nocase
        $o = "<%"
        $x = "<jsp:"
    condition:
        #u >= 10 and ($o or $x)
}

rule jsp_request_named_resource
{
    meta:
        description = "Reads a file, connects a socket, looks up a JNDI name or loads classes from a URL that the request names"
    strings:
        $r1 = /new\s+(java\.io\.)?(fileinputstream|filereader|randomaccessfile)\s*\(\s*request\.getparameter/ nocase
        $r2 = /new\s+(java\.net\.)?socket\s*\(\s*request\.getparameter/ nocase
        $r3 = /\.lookup\s*\(\s*request\.getparameter/ nocase
        $r4 = /new\s+(java\.net\.)?urlclassloader\s*\([^;]{0,120}request\.getparameter/ nocase
        $r5 = /new\s+(java\.net\.)?url\s*\(\s*request\.getparameter[^;]{0,200};[^;]{0,80}openconnection/ nocase
    condition:
        any of them
}

rule jsp_bytecode_from_request
{
    meta:
        description = "Class bytes decoded from base64 and defined at run time (defineClass, TemplatesImpl _bytecodes) in a page that reads the request"
    strings:
        $d1 = "defineclass" nocase
        $d2 = "_bytecodes" nocase
        $b1 = "base64decoder" nocase
        $b2 = "getdecoder" nocase
        $b3 = "decodebuffer" nocase
        $b4 = "parsebase64binary" nocase
        $in1 = "getparameter" nocase
        $in2 = "getreader" nocase
        $in3 = "getinputstream" nocase
    condition:
        any of ($d*) and any of ($b*) and any of ($in*)
}

rule jsp_url_relay
{
    meta:
        description = "Fetches a URL that the request names and passes the answer back: a relay into the server's internal network"
    strings:
        $u = /new\s+(java\.net\.)?url\s*\(/ nocase
        $c = "openconnection" nocase
        $in = /=\s*request\.getparameter\s*\(\s*"(url|u|target|host|ip|addr|address|site)"/ nocase
        $o1 = /out\.print(ln)?\s*\(/ nocase
        $o2 = "getoutputstream" nocase
    condition:
        $u and $c and $in and any of ($o*)
}

rule jsp_upload_to_chosen_path
{
    meta:
        description = "Saves an uploaded file under a folder or name that the request gives (uploaders of further shells)"
    strings:
        $u1 = "servletfileupload" nocase
        $u2 = "multipartrequest" nocase
        $u3 = /\.getpart\s*\(/ nocase
        $w1 = /\.write\s*\(\s*new\s+(java\.io\.)?file\s*\(/ nocase
        $w2 = "fileoutputstream" nocase
        $p = /request\.getparameter\s*\(\s*"(path|dir|folder|savepath|filepath|filename|name)"/ nocase
    condition:
        any of ($u*) and any of ($w*) and $p
}

rule jsp_injects_server_component
{
    meta:
        description = "Registers a filter, servlet, listener or valve in the running server from a page (memory shells that outlive their file)"
    strings:
        $m1 = "applicationfilterconfig" nocase
        $m2 = "filterdef" nocase
        $m3 = /addfiltermap(before)?\s*\(/ nocase
        $m4 = /addservletmapping(decoded)?\s*\(/ nocase
        $m5 = /\.addvalve\s*\(/ nocase
        $m6 = "requestmappinghandlermapping" nocase
        $m7 = /addapplicationeventlistener\s*\(/ nocase
        $m8 = /\.createwrapper\s*\(/ nocase
        $m9 = "standardcontext" nocase
    condition:
        2 of them
}

rule jsp_interpreter_fed_by_request
{
    meta:
        description = "Hands request text to an embedded interpreter (Groovy, BeanShell, SpEL, OGNL, MVEL, JEXL, JShell)"
    strings:
        $x1 = "groovyshell" nocase
        $x2 = "bsh.interpreter" nocase
        $x3 = "spelexpressionparser" nocase
        $x4 = /ognl\s*\.\s*getvalue\s*\(/ nocase
        $x5 = /mvel\s*\.\s*eval/ nocase
        $x6 = "jexlengine" nocase
        $x7 = "jdk.jshell" nocase
        $in1 = "getparameter" nocase
        $in2 = "getreader" nocase
        $in3 = "getinputstream" nocase
        $in4 = "getheader" nocase
    condition:
        any of ($x*) and any of ($in*)
}

rule jsp_reflection_on_pieced_names
{
    meta:
        description = "Loads a class or looks up a method whose name is glued from string pieces or decoded at run time, so that the name never shows whole"
    strings:
        $p1 = /forname\s*\(\s*"[\w.$]{1,30}"\s*\+\s*"/ nocase
        $p2 = /getmethod\s*\(\s*"[\w$]{1,20}"\s*\+\s*"/ nocase
        $p3 = /getdeclaredmethod\s*\(\s*"[\w$]{1,20}"\s*\+\s*"/ nocase
        $d1 = /forname\s*\(\s*new\s+string\s*\([^;]{0,80}(decode|base64)/ nocase
        $d2 = /getmethod\s*\(\s*new\s+string\s*\([^;]{0,80}(decode|base64)/ nocase
        $inv = /\.invoke\s*\(/ nocase
    condition:
        any of ($p*, $d*) and $inv
}

rule jsp_markup_hidden_code
{
    meta:
        description = "A JSP document whose Java is broken up by empty CDATA sections or written as character references, so that no word of it shows whole"
    strings:
        $c = /[a-z0-9_.]<!\[cdata\[\]\]>[a-z0-9_.(]/ nocase
        $e = /&#(x[0-9a-f]{2,4}|[0-9]{2,5});&#(x[0-9a-f]{2,4}|[0-9]{2,5});&#(x[0-9a-f]{2,4}|[0-9]{2,5});/ nocase
        $s1 = "jsp:scriptlet" nocase
        $s2 = "jsp:declaration" nocase
        $s3 = "jsp:expression" nocase
    condition:
        any of ($s*) and (#c >= 3 or #e >= 5)
}
