// Classic ASP (VBScript and JScript) back doors, by what they do.

rule asp_eval_request_input
{
    meta:
        description = "Code evaluated straight from request input: the one-line shells"
    strings:
        $e1 = /\beval(_r)?\s*\(?\s*request\s*[\.(\[]/ nocase
        $e2 = /\bexecute(global)?\s*\(?\s*request\s*[\.(\[]/ nocase
        $e3 = /\beval(_r)?\s*\(?\s*session\s*\(/ nocase
        $e4 = /\bexecute(global)?\s*\(?\s*session\s*\(/ nocase
    condition:
        any of them
}

rule asp_eval_request_variable
{
    meta:
        description = "Request input put in a variable that is then evaluated"
    strings:
        $a = /=\s*request\s*(\.\s*(form|querystring|item|cookies)\s*)?\(/ nocase
        $e1 = /\beval\s*\(?\s*[a-z_][a-z0-9_]{0,30}\s*\)?\s*(%>|$|:|'|\r|\n)/ nocase
        $e2 = /\bexecute(global)?\s*\(?\s*[a-z_][a-z0-9_]{0,30}\s*\)?\s*(%>|$|:|'|\r|\n)/ nocase
    condition:
        $a and ($e1 or $e2) and filesize < 20KB
}

rule asp_execute_decoded
{
    meta:
        description = "Code evaluated from a decoded, reversed or chr()-built string"
    strings:
        $x1 = /\bexecute(global)?\s*\(?\s*(strreverse|unescape|chrw?|decode|decrypt|unencode|replace)\s*\(/ nocase
        $x2 = /\beval\s*\(?\s*(strreverse|unescape|chrw?|decode|decrypt|unencode|replace)\s*\(/ nocase
        $x3 = /\bexecute(global)?\s*\(?\s*chrw?\s*\(\s*\d{1,3}\s*\)\s*&\s*chrw?\s*\(/ nocase
    condition:
        any of them
}

rule asp_encoded_script
{
    meta:
        description = "A script encoded with the script encoder (VBScript.Encode / JScript.Encode)"
    strings:
        $lang = /language\s*=\s*["']?(vbscript|jscript)\.encode/ nocase
        $mark = "#@~^"
    condition:
        $lang and $mark
}

rule asp_shell_command
{
    meta:
        description = "Runs operating-system commands through WScript.Shell or Shell.Application"
    strings:
        $ws1 = "wscript.shell" nocase
        $ws2 = "shell.application" nocase
        $ws3 = "WScript.Shell" wide nocase
        $ws4 = "{72C24DD5-D70A-438B-8A42-98424B88AFB8}" nocase
        $ws5 = "{13709620-C279-11CE-A49E-444553540000}" nocase
        $run1 = /\.\s*(exec|run)\s*\(/ nocase
        $run2 = /\.\s*shellexecute\b/ nocase
        $run3 = "cmd.exe" nocase
        $run4 = "cmd /c" nocase
        $in = /\brequest\s*[\.(]/ nocase
    condition:
        any of ($ws*) and any of ($run*) and $in
}

rule asp_file_manager
{
    meta:
        description = "File and server managers of the ASP shell families: file system, streams, commands and server probes in one page"
    strings:
        $fso = "scripting.filesystemobject" nocase
        $fso2 = "{0D43FE01-F093-11CF-8940-00A0C9054228}" nocase
        $in = /\brequest\s*[\.(]/ nocase
        $op1 = ".deletefile" nocase
        $op2 = ".deletefolder" nocase
        $op3 = ".copyfile" nocase
        $op4 = ".movefile" nocase
        $op5 = ".createtextfile" nocase
        $op6 = ".opentextfile" nocase
        $op7 = ".getfolder" nocase
        $op8 = ".drives" nocase
        $op9 = "adodb.stream" nocase
        $op10 = "savetofile" nocase
        $op11 = ".subfolders" nocase
        $sv1 = "wscript.shell" nocase
        $sv2 = "shell.application" nocase
        $sv3 = "wscript.network" nocase
        $sv4 = "serv-u" nocase
        $sv5 = "xp_cmdshell" nocase
        $sv6 = "cmd.exe" nocase
        $sv7 = "net user" nocase
        $sv8 = "server.scripttimeout" nocase
        $sv9 = "request.servervariables(\"local_addr\")" nocase
        $sv10 = "winnt://" nocase
        $sv11 = "session(\"" nocase
        $sv12 = "password" nocase
    condition:
        any of ($fso*) and $in and 4 of ($op*) and 2 of ($sv*)
}

rule asp_utf7_codepage
{
    meta:
        description = "A page switched to UTF-7 (code page 65000) so that its code can be written in +x- escapes"
    strings:
        $c = /codepage\s*=\s*["']?65000/ nocase
    condition:
        $c
}

rule asp_pieced_together_code
{
    meta:
        description = "Code evaluated from one-letter pieces, table look-ups or a decoder applied to a literal"
    strings:
        $p1 = /["'][a-z()]{1,2}["']\s*&\s*["'][a-z()]{1,2}["']\s*&\s*["'][a-z()]{1,2}["']\s*&\s*["'][a-z()]{1,2}["']/ nocase
        $p2 = /\bexecute(global)?\s*\(?\s*[a-z_][a-z0-9_]{0,10}\s*\(\s*\d{1,3}\s*\)\s*&\s*[a-z_][a-z0-9_]{0,10}\s*\(\s*\d{1,3}\s*\)\s*&/ nocase
        $p3 = /[\s:%]execute(global)?(\s*\(\s*|\s+)[a-z_][a-z0-9_]{0,20}\s*\(\s*["']/ nocase
        $p4 = /\beval(\s*\(\s*|\s+)[a-z_][a-z0-9_]{0,20}\s*\(\s*["'][^"']{40}/ nocase
        $ev1 = /\beval\b/ nocase
        $ev2 = /\bexecute/ nocase
    condition:
        ($p1 and any of ($ev*)) or $p2 or $p3 or $p4
}

rule asp_script_control
{
    meta:
        description = "Runs script text through the MSScriptControl object"
    strings:
        $o = "scriptcontrol" nocase
        $r1 = "executestatement" nocase
        $r2 = ".addcode" nocase
        $r3 = /\.eval\s*\(/ nocase
        $in = /\brequest\s*[\.(]/ nocase
    condition:
        $o and any of ($r*) and $in
}

rule asp_remote_download
{
    meta:
        description = "Fetches a URL the request names and saves it on the server"
    strings:
        $x = "xmlhttp" nocase
        $s = "adodb.stream" nocase
        $w = "savetofile" nocase
        $in = /\brequest\s*[\.(]/ nocase
    condition:
        all of them
}

rule asp_upload_anywhere
{
    meta:
        description = "Saves an upload under a path the request chooses"
    strings:
        $u1 = /\.saveas\s*\(\s*server\.mappath\s*\(\s*request/ nocase
        $u2 = /\.saveas\s*\([^;\r\n]{0,80}request\s*[\[(.]/ nocase
    condition:
        any of them
}

rule asp_page_file_manager
{
    meta:
        description = "A page (not a class library) that works on files named by the request through the file-system object"
    strings:
        $fso = "filesystemobject" nocase
        $in = /\brequest\s*[\.(]/ nocase
        $op1 = ".deletefile" nocase
        $op2 = ".deletefolder" nocase
        $op3 = ".copyfile" nocase
        $op4 = ".movefile" nocase
        $op5 = ".createtextfile" nocase
        $op6 = ".opentextfile" nocase
        $op7 = ".getfolder" nocase
        $op8 = "savetofile" nocase
        $op9 = ".createfolder" nocase
        $op10 = ".write" nocase
        $class = /\n\s*class\s+[a-z_]/ nocase
    condition:
        $fso and $in and 2 of ($op*) and not $class and filesize < 200KB
}

rule asp_tiny_page_evaluates_variable
{
    meta:
        description = "A tiny page that evaluates a variable built from the request, replace() or chr() codes"
    strings:
        $e1 = /\beval(\s*\(\s*|\s+)[a-z_][a-z0-9_]{0,30}\s*\)?\s*($|%>|:|'|\r|\n)/ nocase
        $e2 = /\bexecute(global)?(\s*\(\s*|\s+)[a-z_][a-z0-9_]{0,30}\s*\)?\s*($|%>|:|'|\r|\n)/ nocase
        $in1 = /\brequest\s*[\.(\[]/ nocase
        $in2 = /\breplace\s*\(/ nocase
        $in3 = /\bchrw?\s*\(\s*-?\d/ nocase
    condition:
        filesize < 1KB and any of ($e*) and any of ($in*)
}

rule asp_jscript_eval_alias
{
    meta:
        description = "JScript that hands eval around as a value (an object member, a return value) on a page that reads the request"
    strings:
        $a1 = /[:=(,]\s*eval\s*[},;\r\n)]/ nocase
        $a2 = /return\s+eval\s*[\r\n;}]/ nocase
        $in = /\brequest\s*[\.(\[]/ nocase
    condition:
        any of ($a*) and $in
}

rule asp_stream_writes_request
{
    meta:
        description = "Writes request text into a stream that is saved to disk: an uploader of further shells"
    strings:
        $w = /\.\s*write(text)?\s*\(?\s*request\s*(\(|\.\s*(form|querystring|item|cookies)\b)/ nocase
        $s = "savetofile" nocase
    condition:
        $w and $s
}

rule asp_saves_script_file
{
    meta:
        description = "Saves a stream under a fixed server-script name (.asp, .aspx, .php, .jsp ...): a dropper"
    strings:
        $s1 = /savetofile\s*\(?\s*server\.mappath\s*\(\s*"[^"\r\n]{0,60}\.(asp|asa|cer|cdx|aspx|ashx|php|jsp)"/ nocase
        $s2 = /savetofile\s*\(?\s*"[^"\r\n]{0,80}\.(asp|asa|cer|cdx|aspx|ashx|php|jsp)"/ nocase
    condition:
        any of them
}

rule asp_chr_built_executable
{
    meta:
        description = "A Windows executable spelled out in chr() codes (MZ header) to be written to disk"
    strings:
        $mz = /chrb?\s*\(\s*77\s*\)\s*&\s*chrb?\s*\(\s*90\s*\)\s*&\s*chrb?\s*\(\s*144\s*\)/ nocase
    condition:
        $mz
}

rule asp_execute_cached_code
{
    meta:
        description = "Executes code kept in the session after fetching it over HTTP or decoding it character by character"
    strings:
        $e = /(^|[\s:%])execute(global)?(\s*\(\s*|\s+)[a-z_][a-z0-9_]{0,30}\s*\)?\s*($|%>|:|'|\r|\n)/ nocase
        $f1 = "xmlhttp" nocase
        $f2 = "responsetext" nocase
        $f3 = "responsebody" nocase
        $d1 = /for\s+[a-z_]{1,10}\s*=\s*1\s+to\s+len\s*\(/ nocase
        $d2 = /\bmid\s*\(/ nocase
        $d3 = /\bchrw?\s*\(/ nocase
        $s = /session\s*\(\s*"[^"]{1,30}"\s*\)\s*=/ nocase
    condition:
        $e and $s and (any of ($f*) or all of ($d*))
}

rule asp_decoder_object_executed
{
    meta:
        description = "Executes the output of a decoder object's method, or loads a script-decoding component"
    strings:
        $x1 = /execute(global)?\s*\(?\s*[a-z_][a-z0-9_]{0,30}\s*\.\s*(decode|decrypt|unencode|unescape)\s*\(/ nocase
        $x2 = /\beval\s*\(?\s*[a-z_][a-z0-9_]{0,30}\s*\.\s*(decode|decrypt|unencode|unescape)\s*\(/ nocase
        $x3 = "aspencodedll" nocase
    condition:
        any of them
}

rule servu_privilege_escalation
{
    meta:
        description = "Talks to the Serv-U administration port to add a system user or run commands (privilege escalation)"
    strings:
        $s1 = "-SETUSERSETUP" nocase
        $s2 = "-DELETEDOMAIN" nocase
        $s3 = "SITE EXEC" nocase
        $s4 = "site maintenance" nocase
        $s5 = "43958"
        $s6 = "localadministrator" nocase
    condition:
        2 of them
}

rule asp_hidden_progid
{
    meta:
        description = "An object created from a ProgID spelled in pieces (\"Script\"&\"ing.Fil\"&...), to hide what it opens"
    strings:
        $c = /=\s*"[a-z.]{2,12}"&"[a-z.]{2,12}"&"[a-z.]{2,12}"/ nocase
        $o = /createobject\s*\(\s*[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
    condition:
        $c and $o
}

rule asp_sql_console_from_request
{
    meta:
        description = "A database console: server, user and password read from the request (three fields or more), glued into a connection string, and the request's SQL executed"
    strings:
        $r = /request(\.form|\.querystring)?\s*\(\s*"/ nocase
        $u = /uid\s*=\s*"\s*&\s*\w/ nocase
        $p = /pwd\s*=\s*"\s*&\s*\w/ nocase
        $c = "adodb.connection" nocase
        $e = /\.execute[\s(]/ nocase
    condition:
        #r >= 3 and $u and $p and $c and $e
}

rule asp_command_form_with_host_identity
{
    meta:
        description = "A command form (a field named cmd) on a page that prints the server's computer and user names from WScript.Network"
    strings:
        $f = /name\s*=\s*["']?\.?cmd["'\s>]/ nocase
        $c = ".computername" nocase
        $u = ".username" nocase
    condition:
        $f and $c and $u
}

rule asp_marker_string_decoder
{
    meta:
        description = "A decoder that rebuilds code from a string one character at a time, mid(s, i, 1), turning a marker character into line ends: hidden ASP shells"
    strings:
        $m = /mid\s*\(\s*\w{1,30}\s*,\s*i\s*,\s*1\s*\)\s*<>\s*"/ nocase
        $v = /=\s*vbcrlf\s*&\s*\w/ nocase
    condition:
        $m and $v
}
