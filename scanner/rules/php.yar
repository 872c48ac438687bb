// PHP back doors, by what they do.

rule php_eval_request_input
{
    meta:
        description = "Code evaluated from request input, directly or through decoders: the one-line shells"
    strings:
        $e1 = /\beval\s*\(\s*(@\s*)?([a-z0-9_]{2,20}\s*\(\s*){0,4}\$_(post|get|request|cookie|server|files)\b/ nocase
        $e2 = /\bassert\s*\(\s*(@\s*)?([a-z0-9_]{2,20}\s*\(\s*){0,4}\$_(post|get|request|cookie|server|files)\b/ nocase
        $e3 = /\bcreate_function\s*\([^;]{0,100}\$_(post|get|request|cookie)\b/ nocase
        $e4 = /\b(call_user_func(_array)?|array_map|array_filter|usort|uasort|uksort|array_walk|register_shutdown_function|register_tick_function|iterator_apply)\s*\(\s*\$_(post|get|request|cookie)\b/ nocase
        $e5 = /\beval\s*\(\s*(@\s*)?\$\{?\s*["']?_(post|get|request|cookie)/ nocase
        $e6 = /\$_(post|get|request|cookie)\s*\[[^\]]{1,40}\]\s*\(\s*\$_(post|get|request|cookie)\s*\[/ nocase
        $e7 = /\beval\s*\(\s*(@\s*)?\$GLOBALS\s*\[[^\]]{1,40}\]\s*\[/ nocase
        $e8 = /\bassert\s*\(\s*(@\s*)?\$\{?\s*["']?_(post|get|request|cookie)/ nocase
    condition:
        any of them
}

rule php_exec_request_input
{
    meta:
        description = "Operating-system commands taken from request input"
    strings:
        $x1 = /\b(system|passthru|shell_exec|exec|popen|proc_open|pcntl_exec)\s*\(\s*(@\s*)?([a-z0-9_]{2,20}\s*\(\s*){0,3}\$_(post|get|request|cookie|server)\b/ nocase
        $x2 = /`\s*\$_(post|get|request|cookie)\s*\[/ nocase
        $x3 = /\b(system|passthru|shell_exec|exec|popen|proc_open)\s*\(\s*(@\s*)?\$\{?\s*["']?_(post|get|request|cookie)/ nocase
    condition:
        any of them
}

rule php_variable_function_from_input
{
    meta:
        description = "A function whose name comes from request input, called with request input"
    strings:
        $v1 = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*\$_(post|get|request|cookie)\s*\[[^\]]{1,40}\]\s*;[^;]{0,300}\$[a-z_][a-z0-9_]{0,30}\s*\(\s*\$_(post|get|request|cookie)/ nocase
        $v2 = /@?\$_(post|get|request|cookie)\s*\[[^\]]{1,40}\]\s*\(\s*\$_/ nocase
        $v3 = /\$\{\s*["']_(post|get|request|cookie)["']\s*\}\s*\[[^\]]{1,40}\]\s*\(/ nocase
    condition:
        any of them
}

rule php_preg_replace_eval
{
    meta:
        description = "preg_replace with the /e modifier, which evaluates its replacement"
    strings:
        $p1 = /preg_replace\s*\(\s*["'][\/#@|~!%].{0,120}[\/#@|~!%][imsxuU]{0,5}e[imsxuU]{0,5}["']\s*,/ nocase
        $p2 = /preg_replace\s*\(\s*["']\/\.\*\/e["']/ nocase
        $p3 = /mb_ereg_replace\s*\([^;]{0,200}["']e["']/ nocase
    condition:
        any of them
}

rule php_eval_decoded_payload
{
    meta:
        description = "Encoded or packed code decoded straight into eval (base64, gzinflate, str_rot13, strrev, hex)"
    strings:
        $d1 = /\beval\s*\(\s*(@\s*)?(\$[a-z_0-9]{1,30}\s*\(\s*){0,3}(gzinflate|gzuncompress|gzdecode|str_rot13|base64_decode|strrev|convert_uudecode|hex2bin|rawurldecode|urldecode|pack|strtr|substr|gzinflate|bzdecompress|lzf_decompress)\s*\(/ nocase
        $d2 = /\bassert\s*\(\s*(@\s*)?(gzinflate|gzuncompress|gzdecode|str_rot13|base64_decode|strrev|convert_uudecode|hex2bin|rawurldecode|urldecode)\s*\(/ nocase
        $d3 = /\beval\s*\(\s*["']\?>["']\s*\.\s*(gzinflate|gzuncompress|base64_decode|str_rot13)\s*\(/ nocase
        $d4 = /\beval\s*\(\s*\$[a-z_0-9]{1,30}\s*\(\s*["'][a-z0-9+\/=]{200}/ nocase
        $d5 = /\beval\s*\(\s*(@\s*)?\$[a-z_0-9]{1,30}\s*\(\s*\$[a-z_0-9]{1,30}\s*\(/ nocase
    condition:
        any of them
}

rule php_obfuscated_function_names
{
    meta:
        description = "Names of dangerous functions hidden by reversal, rot13, hex or octal escapes, or pieced together"
    strings:
        $r1 = "edoced_46esab" nocase
        $r2 = "etalfnizg" nocase
        $r3 = "31tor_rts" nocase
        $r4 = "tressa" nocase
        $r5 = "lave(" nocase
        $r6 = "riny(" nocase
        $r7 = "onfr64_qrpbqr" nocase
        $r8 = "tmvasyngr" nocase
        $h1 = /\\x65\\x76\\x61\\x6c/ nocase
        $h2 = /\\x62\\x61\\x73\\x65\\x36\\x34/ nocase
        $h3 = /\\x61\\x73\\x73\\x65\\x72\\x74/ nocase
        $h4 = /\\x67\\x7a\\x69\\x6e\\x66\\x6c\\x61\\x74\\x65/ nocase
        $h5 = /\\145\\166\\141\\154/
        $h6 = /\\142\\141\\163\\145\\66\\64/
        $c1 = /["']ba["']\s*\.\s*["']se6["']/ nocase
        $c2 = /["']as["']\s*\.\s*["']se["']\s*\.\s*["']rt["']/ nocase
        $c3 = /["']e["']\s*\.\s*["']v["']\s*\.\s*["']a["']\s*\.\s*["']l["']/ nocase
        $c4 = /["']base["']\s*\.\s*["']64_decode["']/ nocase
        $c5 = /["']gzin["']\s*\.\s*["']flate["']/ nocase
        $c6 = /["']as["']\s*\.\s*["']sert["']/ nocase
        $c7 = /["']ass["']\s*\.\s*["']ert["']/ nocase
        $c8 = /["']cr["']\s*\.\s*["']eat["']/ nocase
        $open = "<?"
    condition:
        $open and any of ($r*, $h*, $c*)
}

rule php_chr_chain
{
    meta:
        description = "Strings built from long chains of chr() calls, a way to hide code"
    strings:
        $c = /chr\s*\(\s*-?\d{1,3}\s*\)\s*\.\s*chr\s*\(\s*-?\d{1,3}\s*\)\s*\.\s*chr\s*\(\s*-?\d{1,3}\s*\)\s*\.\s*chr\s*\(\s*-?\d{1,3}\s*\)\s*\.\s*chr\s*\(/ nocase
        $ev1 = /\beval\s*\(/ nocase
        $ev2 = /\bassert\s*\(/ nocase
        $ev3 = "create_function" nocase
    condition:
        $c and any of ($ev*)
}

rule php_packed_blob_evaluated
{
    meta:
        description = "A long encoded blob in a file that evaluates decoded text"
    strings:
        $blob = /["'][a-z0-9+\/]{400}/ nocase
        $hex = /["'](\\x[0-9a-f]{2}){40}/ nocase
        $ev1 = /\beval\s*\(/ nocase
        $ev2 = /\bassert\s*\(/ nocase
        $ev3 = "create_function" nocase
        $ev4 = /preg_replace\s*\(\s*["'][^"']{1,40}e["']/ nocase
        $dec1 = "base64_decode" nocase
        $dec2 = "gzinflate" nocase
        $dec3 = "gzuncompress" nocase
        $dec4 = "str_rot13" nocase
        $dec5 = "strrev" nocase
    condition:
        ($blob or $hex) and any of ($ev*) and any of ($dec*)
}

rule php_upload_anything
{
    meta:
        description = "Stores an upload, or request data, under a name the request chooses"
    strings:
        $u1 = /move_uploaded_file\s*\(\s*\$_files\s*\[[^\]]{1,40}\]\s*\[\s*["']tmp_name["']\s*\]\s*,\s*(\$[a-z_0-9]{1,30}\s*\.\s*)?\$_(files|post|get|request)/ nocase
        $u2 = /(copy|move_uploaded_file)\s*\(\s*\$_files\s*\[[^\]]{1,40}\]\s*\[\s*["']tmp_name["']\s*\]\s*,\s*\$_files\s*\[[^\]]{1,40}\]\s*\[\s*["']name["']\s*\]\s*\)/ nocase
        $u3 = /file_put_contents\s*\(\s*\$_(post|get|request|cookie)\s*\[[^\]]{1,40}\]\s*,\s*\$_(post|get|request|cookie)/ nocase
        $u4 = /fwrite\s*\(\s*fopen\s*\(\s*\$_(post|get|request)\s*\[[^\]]{1,40}\]\s*,\s*["'][wa]/ nocase
        $u5 = /fputs\s*\(\s*fopen\s*\(\s*\$_(post|get|request)\s*\[[^\]]{1,40}\]\s*,\s*["'][wa]/ nocase
    condition:
        any of them
}

rule php_include_request_path
{
    meta:
        description = "Includes a file named by the request (uploaded code run by include)"
    strings:
        $i1 = /\b(include|require)(_once)?\s*\(?\s*(@\s*)?\$_(get|post|request|cookie|files)\s*\[/ nocase
    condition:
        $i1
}

rule php_shell_toolkit
{
    meta:
        description = "Command and file-manager shells: command execution together with the server probes and file tools of the shell families"
    strings:
        $x1 = /\bshell_exec\s*\(/ nocase
        $x2 = /\bpassthru\s*\(/ nocase
        $x3 = /\bsystem\s*\(\s*\$/ nocase
        $x4 = /\bpopen\s*\(\s*\$/ nocase
        $x5 = /\bproc_open\s*\(/ nocase
        $x6 = /\bexec\s*\(\s*\$/ nocase
        $x7 = /\bpcntl_exec\s*\(/ nocase
        $p1 = "posix_getpwuid" nocase
        $p2 = "safe_mode" nocase
        $p3 = "disable_functions" nocase
        $p4 = "php_uname" nocase
        $p5 = "/etc/passwd" nocase
        $p6 = "fsockopen" nocase
        $p7 = "move_uploaded_file" nocase
        $p8 = "getcwd()" nocase
        $p9 = "uname -a" nocase
        $p10 = "cmd.exe" nocase
        $p11 = "/bin/sh" nocase
        $p12 = "open_basedir" nocase
        $p13 = "posix_getgrgid" nocase
        $p14 = "$_server[\"server_addr\"]" nocase
        $p15 = "$_server['server_addr']" nocase
        $p16 = "back connect" nocase
        $p17 = "bind port" nocase
        $p18 = "mysql_connect" nocase
        $p19 = "disk_free_space" nocase
        $p20 = "fileperms" nocase
    condition:
        any of ($x*) and 4 of ($p*)
}

rule php_command_request
{
    meta:
        description = "A page that runs a command variable filled from the request"
    strings:
        $x = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*(trim\s*\(\s*|stripslashes\s*\(\s*|urldecode\s*\(\s*|base64_decode\s*\(\s*){0,2}\$_(post|get|request|cookie)\s*\[[^\]]{1,40}\][^;]{0,40};[^;]{0,400};?[^;]{0,200}\b(system|passthru|shell_exec|exec|popen|proc_open)\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*[,)\.]/ nocase
    condition:
        $x
}

rule php_callback_from_request
{
    meta:
        description = "A callback, or its argument, taken from request input: register_shutdown_function, array_map, SQLite functions and the like"
    strings:
        $c1 = /\b(register_shutdown_function|register_tick_function|sqlitecreatefunction|createfunction|sqlite_create_function|array_map|array_filter|array_walk|usort|uasort|uksort|call_user_func(_array)?|iterator_apply|forward_static_call(_array)?|set_error_handler|set_exception_handler|ob_start|filter_var|array_reduce|preg_replace_callback)\s*\(\s*(["'][^"'\r\n]{1,30}["']\s*,\s*)?\$[a-z_][a-z0-9_]{0,30}\s*,\s*(\(array\)\s*)?\$_(request|post|get|cookie)/ nocase
        $c2 = /\b(array_map|array_filter|call_user_func(_array)?|usort|uasort|uksort|array_walk|filter_var|register_shutdown_function|preg_replace_callback)\s*\(\s*["'](assert|system|exec|passthru|shell_exec|popen|create_function|[a-z]{0,6}\\x[0-9a-f]{2}[a-z\\0-9]{0,20})["']\s*,\s*(\(array\)\s*)?\$_(request|post|get|cookie)/ nocase
        $c3 = /filter_var\s*\(\s*\$_(request|post|get|cookie)\s*\[[^\]]{1,40}\]\s*,\s*filter_callback/ nocase
        $c4 = /@?extract\s*\(\s*\$_(request|post|get|cookie)\s*\)\s*;[^;]{0,100}\$[a-z_][a-z0-9_]{0,30}\s*\(\s*\$[a-z_]/ nocase
        $c5 = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*\$_(request|post|get|cookie)\s*\[[^\]]{1,40}\]\s*;.{0,200}\b(register_shutdown_function|register_tick_function|sqlitecreatefunction|createfunction|array_map|usort|uasort|uksort|array_walk|call_user_func(_array)?|iterator_apply)\s*\(\s*(["'][^"'\r\n]{1,30}["']\s*,\s*)?\$[a-z_][a-z0-9_]{0,30}\s*[,)]/ nocase
        $c6 = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*\$_(request|post|get|cookie)\s*\[[^\]]{1,40}\]\s*;.{0,300}\$[a-z_][a-z0-9_]{0,30}\s*\(\s*\$_(request|post|get|cookie)/s nocase
    condition:
        any of them
}

rule php_split_function_name
{
    meta:
        description = "A function name rebuilt from junk-filled text (str_replace of a marker) and then called with code"
    strings:
        $s1 = /=\s*str_replace\s*\(\s*["'][^"'\r\n]{1,4}["']\s*,\s*["']["']\s*,\s*["'][a-z_]{0,6}[^a-z_"'][^"'\r\n]{0,30}["']\s*\)/ nocase
        $call = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*\$[a-z_][a-z0-9_]{0,30}\s*\(\s*["']["']\s*,/ nocase
        $ev = /\beval\s*\(/ nocase
    condition:
        $s1 and ($call or $ev)
}

rule php_char_table_strings
{
    meta:
        description = "Code assembled character by character from a table string, or from symbols only"
    strings:
        $t1 = /\$[a-z_0-9]{1,20}\s*\[\s*\d{2,3}\s*\]\s*\.\s*\$[a-z_0-9]{1,20}\s*\[\s*\d{1,3}\s*\]\s*\.\s*\$[a-z_0-9]{1,20}\s*\[\s*\d{2,3}\s*\]\s*\.\s*\$[a-z_0-9]{1,20}\s*\[\s*\d{1,3}\s*\]\s*\.\s*\$[a-z_0-9]{1,20}\s*\[\s*\d{1,3}\s*\]/ nocase
        $n1 = /\$_\s*\[\s*\+\s*["']["']\s*\]/
        $n2 = /\$_{4,}\s*\+\+/
        $n3 = /\$\{\s*["']_["']\s*\.\s*\$_{1,4}\s*\}/
        $x1 = /["'][^"'\r\n]{1,12}["']\s*\^\s*["'][^"'\r\n]{1,12}["']\s*;\s*\$[a-z_0-9]{1,20}\s*=\s*["'][^"'\r\n]{1,12}["']\s*[\^|&]\s*["'~]/ nocase
        $g1 = /(["'][a-z]{1,2}["']\s*\.\s*){5}["'][a-z]{1,2}["']/ nocase
    condition:
        any of them
}

rule php_defacer
{
    meta:
        description = "Rewrites index pages with a defacement"
    strings:
        $h = /hacked\s+by/ nocase
        $w1 = /fopen\s*\(\s*["'][^"']{0,40}index\.(php|html?)["']\s*,\s*["'][wa]/ nocase
    condition:
        $h and $w1
}

rule php_probes
{
    meta:
        description = "Small probes: the password file or the whole configuration dumped to the visitor"
    strings:
        $p1 = /(file_get_contents|readfile|file|fopen|highlight_file|show_source|include)\s*\(\s*["']\/etc\/(passwd|shadow)["']/ nocase
        $p2 = /<\?(php)?\s*phpinfo\s*\(\s*\)\s*;?\s*(\?>)?\s*$/ nocase
    condition:
        // The whole script is the phpinfo() call (room left for an image
        // header in front of it).
        $p1 or ($p2 and filesize < 300)
}

rule php_junk_split_payload
{
    meta:
        description = "A payload cut into junk-filled variables and glued back with str_replace (the weevely family)"
    strings:
        $s1 = /=\s*str_replace\s*\(\s*["'][^"'\r\n]{1,4}["']\s*,\s*["']["']\s*,\s*\$[a-z_][a-z0-9_]{0,20}\s*\.\s*\$[a-z_][a-z0-9_]{0,20}/ nocase
        $s2 = /=\s*str_replace\s*\(\s*["'][^"'\r\n]{1,4}["']\s*,\s*["']["']\s*,\s*["']c[^"'\r\n]{0,6}r[^"'\r\n]{0,6}e[^"'\r\n]{0,6}a[^"'\r\n]{0,6}t[^"'\r\n]{0,6}e[^"'\r\n]{0,6}_/ nocase
    condition:
        any of them
}

rule php_bitwise_strings
{
    meta:
        description = "Names and code produced by XOR, OR and AND of string literals"
    strings:
        $x = /=\s*(["'][^"'\r\n]{1,30}["']\s*[\^|&]\s*~?([a-z0-9_]{1,20}|["'][^"'\r\n]{1,30}["'])|~?[a-z0-9_]{1,20}\s*[\^|&]\s*["'][^"'\r\n]{1,30}["'])\s*;/ nocase
    condition:
        #x >= 4
}

rule php_hidden_names
{
    meta:
        description = "Variable names and payloads written in hex: ${\"\\x47...\"}, pack(\"H*\", \"3c3f...\")"
    strings:
        $g = /\$\{\s*["']\\x[0-9a-f]{2}/ nocase
        $p = /pack\s*\(\s*["']H\*["']\s*,\s*["'](3c3f|3c25|6576616c|617373657274)/ nocase
        $b = /\$\{\s*["']\\x47/ nocase
    condition:
        any of them
}

rule php_gated_backdoor
{
    meta:
        description = "Request input compared with a fixed MD5 hash: a password-gated back door"
    strings:
        $m1 = /md5\s*\(\s*\$_(get|post|request|cookie|server)\s*\[[^\]]{1,40}\]\s*\)\s*[!=]==?\s*["'][0-9a-f]{32}["']/ nocase
        $m2 = /["'][0-9a-f]{32}["']\s*[!=]==?\s*md5\s*\(\s*\$_(get|post|request|cookie)/ nocase
        $m3 = /\$_(request|post|get|cookie)\s*\[[^\]]{1,30}\]\s*[!=]==?\s*["'][0-9a-f]{32}["']/ nocase
    condition:
        any of them
}

rule php_code_strings_evaluated
{
    meta:
        description = "Code in a string literal handed to eval or create_function that runs commands or assert"
    strings:
        $e1 = /\beval\s*\(\s*["'][^"']{0,100}\b(system|exec|passthru|shell_exec|popen|assert)\s*\(/ nocase
        $e2 = /create_function\s*\([^;]{0,100}\b(assert|eval|system|passthru|shell_exec)\s*\(/ nocase
        $e3 = /\$_{1,5}\s*\(\s*\$_(request|post|get|cookie)\s*\[/ nocase
        $e4 = /while\s*\(\s*(1|true)\s*\)\s*\{?\s*pcntl_fork/ nocase
    condition:
        any of them
}

rule php_wordpress_backdoor
{
    meta:
        description = "WordPress hooks that create administrators or log in whoever asks"
    strings:
        $h = "add_action" nocase
        $in = /\$_(get|request|post)\s*\[/ nocase
        $a1 = "wp_create_user" nocase
        $a2 = "wp_insert_user" nocase
        $a3 = "wp_set_auth_cookie" nocase
        $a4 = "set_role" nocase
    condition:
        $h and $in and any of ($a*) and filesize < 10KB
}

rule php_shell_traits
{
    meta:
        description = "Many of the probes and tools of file-manager shells in one file (fewer in a small file): user and system look-ups, limits switched off, folder listings, permissions, sockets"
    strings:
        $t1 = "posix_get" nocase
        $t2 = "safe_mode" nocase
        $t3 = "disable_functions" nocase
        $t4 = "php_uname" nocase
        $t5 = "/etc/passwd" nocase
        $t6 = "fsockopen" nocase
        $t7 = "move_uploaded_file" nocase
        $t8 = "getcwd" nocase
        $t9 = "uname -a" nocase
        $t10 = /(cmd\.exe|\/bin\/(ba)?sh)/ nocase
        $t11 = "open_basedir" nocase
        $t12 = "server_software" nocase
        $t13 = "document_root" nocase
        $t14 = "server_addr" nocase
        $t15 = /set_time_limit\s*\(\s*0/ nocase
        $t16 = /error_reporting\s*\(\s*0\s*\)/ nocase
        $t17 = "fileperms" nocase
        $t18 = "scandir" nocase
        $t19 = /readdir\s*\(/ nocase
        $t20 = "mysql_connect" nocase
        $t21 = "socket_create" nocase
        $t22 = /\bwget\b/ nocase
        $t23 = "0777"
        $t24 = /md5\s*\(\s*\$_/ nocase
        $t25 = /@\$_(post|get|request|cookie)/ nocase
        $t26 = "disk_free_space" nocase
        $t27 = /phpversion\s*\(/ nocase
        $t28 = "get_current_user" nocase
    condition:
        5 of them or (4 of them and filesize < 32KB)
}

rule php_encoded_php_payload
{
    meta:
        description = "Base64 text that decodes to PHP code or request access, in a file that decodes base64"
    strings:
        $d = "base64_decode" nocase
        $b1 = "PD9waHA"
        $b2 = "PD9QSFA"
        $b3 = "ZXZhbC"
        $b4 = "YXNzZXJ0KC"
        $b5 = "JF9QT1NU"
        $b6 = "JF9HRVQ"
        $b7 = "JF9SRVFVRVNU"
        $b8 = "c3lzdGVtKC"
        $b9 = "ZXZhbCgk"
    condition:
        $d and any of ($b*)
}

rule php_eval_of_decoded_variable
{
    meta:
        description = "A long encoded literal decoded into a variable that is then evaluated"
    strings:
        $ev = /\b(eval|assert)\s*\(\s*\$[a-z_0-9]{1,30}\s*\)/ nocase
        $lit = /(base64_decode|gzinflate|gzuncompress|str_rot13|strrev|convert_uudecode)\s*\(\s*["'][a-z0-9+\/=]{100}/ nocase
    condition:
        $ev and $lit
}

rule php_request_as_replacement
{
    meta:
        description = "Request input given as the replacement of preg_replace or preg_filter, or to old request arrays that run code"
    strings:
        $r1 = /preg_(replace|filter)\s*\(\s*[^,;]{1,80},\s*@?\$_(request|post|get|cookie)/ nocase
        $r2 = /preg_filter\s*\(\s*["'].{1,20}e["']/ nocase
        $r3 = /\b(include|require)(_once)?\s*\(?\s*\$HTTP_(GET|POST)_VARS/ nocase
        $r4 = /\b(system|passthru|shell_exec|exec|popen)\s*\(\s*["'][^"']{0,20}\$_(get|post|request|cookie)/ nocase
        $r5 = /\b(eval|assert|system|passthru|shell_exec)\s*\(\s*\$HTTP_(GET|POST)_VARS/ nocase
    condition:
        any of them
}

rule php_command_page
{
    meta:
        description = "A page that reads request input and runs operating-system commands"
    strings:
        $x1 = /[^>:a-z_]system\s*\(/ nocase
        $x2 = /[^>:a-z_]popen\s*\(/ nocase
        $in = /\$_(post|get|request|cookie)\s*\[/ nocase
    condition:
        any of ($x*) and $in and filesize < 200KB
}

rule php_eval_request_body
{
    meta:
        description = "Code evaluated from the raw request body, through reflection, or from a variable in a small page that reads the request"
    strings:
        $b1 = /\b(eval|assert)\s*\(\s*(@\s*)?file_get_contents\s*\(\s*["']php:\/\/input/ nocase
        $b2 = /new\s+reflectionfunction\s*\(\s*["'](assert|system|exec|passthru|shell_exec|create_function)["']/ nocase
        $b3 = /\$\{\s*\$[a-z_][a-z0-9_]{0,10}\s*\.\s*\$[a-z_][a-z0-9_]{0,10}\s*\.\s*\$/ nocase
        $b4 = /fopo\.com\.ar/ nocase
        $small = /@?\beval\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $in = /\$_(post|get|request|cookie)\s*\[/ nocase
    condition:
        any of ($b*) or ($small and $in and filesize < 4KB)
}

rule php_reverse_shell
{
    meta:
        description = "Connects out and hands a shell to the other end"
    strings:
        $c1 = "fsockopen" nocase
        $c2 = "stream_socket_client" nocase
        $c3 = "socket_connect" nocase
        $x1 = /\b(proc_open|shell_exec|system|passthru|popen)\s*\(/ nocase
        $s1 = "/bin/sh" nocase
        $s2 = "cmd.exe" nocase
        $s3 = "sh -i" nocase
    condition:
        any of ($c*) and $x1 and any of ($s*)
}

rule php_variable_function_on_input
{
    meta:
        description = "A function held in a variable (or array element) called with request input: $f($_POST['x']), $a['k'](${'_P'.'OST'}[1])"
    strings:
        $a = /\$[a-z_][a-z0-9_]{0,30}\s*(\[[^\]\r\n]{1,30}\]\s*){0,3}\(\s*(@?\s*[a-z_0-9]{2,20}\s*\(\s*){0,2}@?\s*\$(_(post|get|request|cookie|server|files)\b|\{\s*["']_)/ nocase
    condition:
        $a
}

rule php_eval_variable_variable
{
    meta:
        description = "eval or assert of a variable variable, ${$name}[...]: the superglobal's name is computed to hide it"
    strings:
        $a = /\b(eval|assert)\s*\(\s*(@\s*)?(\$?[a-z_0-9]{1,30}\s*\(\s*){0,2}\$\{\s*\$/ nocase
    condition:
        $a
}

rule php_name_from_character_table
{
    meta:
        description = "Names spelled by picking characters out of a table string: $t[5].$t[2].$t[7]..."
    strings:
        $a = /(\$[a-z_0-9]{1,30}\s*(\[\s*\d{1,3}\s*\]|\{\s*\d{1,3}\s*\})\s*\.\s*){2,8}\$[a-z_0-9]{1,30}\s*(\[\s*([4-9]|[1-9]\d{1,2})\s*\]|\{\s*([4-9]|[1-9]\d{1,2})\s*\})\s*\.\s*(\$[a-z_0-9]{1,30}\s*(\[\s*\d{1,3}\s*\]|\{\s*\d{1,3}\s*\})\s*\.\s*){2}/ nocase
    condition:
        $a
}

rule php_obfuscator_output
{
    meta:
        description = "The marks of PHP obfuscators: function tables in $GLOBALS, O/0 variable names, mixed octal and hex escapes, escaped superglobal keys, names built with arithmetic"
    strings:
        $g = /\$GLOBALS\s*\[\s*['"]_{1,2}\d{3,}_['"]\s*\]\s*=\s*Array\s*\(/ nocase
        $o1 = /\$OO[O0]{4,}\s*=\s*(urldecode|__FILE__|base64_decode)/
        $o2 = /\$O0[O0]{4,}\s*=\s*(urldecode|__FILE__|base64_decode)/
        $h = /\$GLOBALS\s*\[\s*['"][a-z0-9_]{1,12}['"]\s*\]\s*=\s*["']\\x[0-9a-f]{2}\\x/ nocase
        $m1 = /\\x[0-9a-f]{2}\\[0-7]{2,3}\\x[0-9a-f]{2}\\[0-7]{2,3}/ nocase
        $m2 = /\\[0-7]{3}\\x[0-9a-f]{2}\\[0-7]{3}\\x[0-9a-f]{2}/ nocase
        $s = /\$_(server|post|get|cookie|request)\s*\[\s*["']\\x[0-9a-f]{2}/ nocase
        $b = /["']base["']\s*\.\s*\(\s*\d{1,3}\s*[*\/+-]\s*\d{1,3}\s*\)\s*\.\s*["']_/ nocase
    condition:
        any of them
}

rule php_str_replace_through_variable
{
    meta:
        description = "str_replace or create_function called through a variable to strip junk out of a name, then to build code"
    strings:
        $a = /=\s*\$[a-z_][a-z0-9_]{0,30}\s*\(\s*["'][^"'\r\n]{1,10}["']\s*,\s*["']["']\s*,\s*["'][^"'\r\n]{6,}/ nocase
        $b = /=\s*\$[a-z_][a-z0-9_]{0,30}\s*\(\s*(''|"")\s*,\s*\$[a-z_][a-z0-9_]{0,30}\s*\(/ nocase
    condition:
        any of them
}

rule php_small_uploader
{
    meta:
        description = "A small page with a file-upload form that stores the upload under its own name"
    strings:
        $u1 = /move_uploaded_file\s*\(/ nocase
        $u2 = /copy\s*\(\s*\$_files/ nocase
        $u3 = /copy\s*\(\s*\$[a-z_]{1,20}\s*,/ nocase
        $n = /\[\s*["']name["']\s*\]/ nocase
        $f = /enctype\s*=\s*\\?["']?multipart\/form-data/ nocase
    condition:
        any of ($u*) and $n and $f and filesize < 3KB
}

rule php_remote_code
{
    meta:
        description = "Code fetched over the network and evaluated, or a remote text saved as a .php file"
    strings:
        $e1 = /\beval\s*\(\s*(@\s*)?\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $e2 = /\bassert\s*\(\s*(@\s*)?\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $r1 = /file_get_contents\s*\(\s*(["']https?:|\$)/ nocase
        $r2 = "curl_exec" nocase
        $c = /copy\s*\(\s*["'](https?|ftp):\/\/[^"'\r\n]{1,200}["']\s*,\s*["'][^"'\r\n]{0,100}\.ph(p\d?|tml)["']/ nocase
    condition:
        (filesize < 3KB and any of ($e*) and any of ($r*)) or $c
}

rule php_small_file_writer
{
    meta:
        description = "A small page that writes a file whose name and contents come from the request"
    strings:
        $w = /(fwrite|fputs)\s*\(\s*@?fopen\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*,\s*["'][wa]/ nocase
        $f = /file_put_contents\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*(\[[^\]]{1,30}\]\s*)?,\s*\$[a-z_][a-z0-9_]{0,30}\s*\[/ nocase
        $in1 = "$_post" nocase
        $in2 = "$_get" nocase
        $in3 = "$_request" nocase
        $in4 = "$_cookie" nocase
    condition:
        any of ($w, $f) and any of ($in*) and filesize < 2KB
}

rule php_callback_evaluates
{
    meta:
        description = "assert, system and the like handed as a callback (ob_start('assert'), ->uasort('assert')), or a callback-taking sort or SQLite function fed from the request"
    strings:
        $a1 = /ob_start\s*\(\s*["'](assert|system|passthru|shell_exec|create_function)["']/ nocase
        $a2 = /call_user_func(_array)?\s*\(\s*["'](assert|system|passthru|shell_exec|create_function)["']/ nocase
        $a3 = /array_map\s*\(\s*["'](assert|system|passthru|shell_exec|create_function)["']/ nocase
        $a4 = /register_shutdown_function\s*\(\s*["'](assert|system|passthru|shell_exec|create_function)["']/ nocase
        $a5 = /array_filter\s*\([^;]{0,60},\s*["'](assert|system|passthru|shell_exec|create_function)["']\s*\)/ nocase
        $a6 = /array_walk\s*\([^;]{0,60},\s*["'](assert|system|passthru|shell_exec|create_function)["']\s*\)/ nocase
        $a7 = /u[ak]?sort\s*\([^;]{0,60},\s*["'](assert|system|passthru|shell_exec|create_function)["']\s*\)/ nocase
        $a8 = /array_(udiff|diff_ukey)\s*\([^;]{0,60},\s*["'](assert|system|passthru|shell_exec|create_function)["']\s*\)/ nocase
        $b = /->\s*u[ak]sort\s*\(\s*["'](assert|system)["']/ nocase
        $c1 = /u[ak]?sort\s*\([^;]{0,200}\$_(request|post|get|cookie)/ nocase
        $c2 = /array_(udiff|diff_u|intersect_u|uintersect)[a-z]{0,6}\s*\([^;]{0,200}\$_(request|post|get|cookie)/ nocase
        $c3 = /createfunction\s*\([^;]{0,200}\$_(request|post|get|cookie)/ nocase
        $d1 = /u[ak]sort\s*\([^;]{0,100}(\$[a-z_]{1,10}|base64_decode\s*\(\s*\$[a-z_]{1,10})\s*(,\s*\d\s*)?\)\s*;/ nocase
        $d2 = /array_(udiff|diff_u|intersect_u)[a-z]{0,6}\s*\([^;]{0,100}\$[a-z_]{1,10}\s*\)\s*;/ nocase
        $d3 = /createfunction\s*\([^;]{0,100}\$[a-z_]{1,10}\s*(,\s*\d\s*)?\)\s*;/ nocase
        $in1 = "$_post" nocase
        $in2 = "$_get" nocase
        $in3 = "$_request" nocase
        $in4 = "$_cookie" nocase
    condition:
        any of ($a*) or $b or any of ($c*) or (filesize < 2KB and any of ($d*) and any of ($in*))
}

rule php_small_dynamic_call
{
    meta:
        description = "A small page that reads the request, names a dangerous function (or a piece of one) in a string, and calls a variable"
    strings:
        $v = /\$[a-z_][a-z0-9_]{0,30}\s*(\[[^\]\r\n]{1,30}\]\s*){0,3}\(\s*[$@]/ nocase
        $in = /\$(_(post|get|request|cookie)\b|\{\s*["']_)/ nocase
        $n1 = "'assert'" nocase
        $n2 = "\"assert\"" nocase
        $n3 = "'asser'" nocase
        $n4 = "\"asser\"" nocase
        $n5 = "'system'" nocase
        $n6 = "\"system\"" nocase
        $n7 = "'create_function'" nocase
        $n8 = "'as'" nocase
        $n9 = "\"as\"" nocase
        $n10 = "'ass'" nocase
        $n11 = "\"ass\"" nocase
        $n12 = "'ev'" nocase
        $n13 = "\"ev\"" nocase
        $n14 = "'passthru'" nocase
        $n15 = "'eval'" nocase
    condition:
        filesize < 8KB and any of ($n*) and $in and $v
}

rule php_underscore_function
{
    meta:
        description = "A function called through a variable named only with underscores ($_, $__), the symbol-only shells"
    strings:
        $a = /\$_{1,4}\s*(\[[^\]\r\n]{1,20}\]\s*)?\(\s*[$@"'a-z]/ nocase
    condition:
        $a
}

rule php_eval_array_element
{
    meta:
        description = "A small page that evaluates an array element (misspelt superglobals, eval_r), or PHP in a <script language=php> block"
    strings:
        $a1 = /\beval(_r)?\s*\(\s*(@\s*)?\$[a-z_][a-z0-9_]{0,20}\s*\[/ nocase
        $a2 = /\bassert\s*\(\s*(@\s*)?\$[a-z_][a-z0-9_]{0,20}\s*\[/ nocase
        $s = /<script\s+language\s*=\s*["']?php/ nocase
    condition:
        (filesize < 4KB and any of ($a*)) or $s
}

rule php_command_form
{
    meta:
        description = "A form field named cmd or command on a page that runs a variable as an operating-system command"
    strings:
        $x1 = /\bsystem\s*\(\s*\$[a-z_]/ nocase
        $x2 = /\bpassthru\s*\(\s*\$[a-z_]/ nocase
        $x3 = /\bshell_exec\s*\(\s*\$[a-z_]/ nocase
        $x4 = /\bexec\s*\(\s*\$[a-z_]/ nocase
        $x5 = /\bpopen\s*\(\s*\$[a-z_]/ nocase
        $x6 = /\bproc_open\s*\(\s*\$[a-z_]/ nocase
        $f1 = "name=\"cmd\"" nocase
        $f2 = "name='cmd'" nocase
        $f3 = "name=\\\"cmd\\\"" nocase
        $f4 = "name=cmd>" nocase
        $f5 = "name=\"command\"" nocase
        $f6 = "name='command'" nocase
        $f7 = "name=\\\"command\\\"" nocase
        $f8 = "name=command>" nocase
        $f9 = "name=\"execute\"" nocase
        $f10 = "name='execute'" nocase
        $f11 = "name=\\\"execute\\\"" nocase
        $f12 = "name=execute>" nocase
        $f13 = "name=\"exec\"" nocase
        $f14 = "name='exec'" nocase
        $f15 = "name=\\\"exec\\\"" nocase
        $f16 = "name=exec>" nocase
        $f17 = "name=\"shell\"" nocase
        $f18 = "name='shell'" nocase
        $f19 = "name=\\\"shell\\\"" nocase
        $f20 = "name=shell>" nocase
    condition:
        any of ($f*) and any of ($x*)
}

rule php_socket_process
{
    meta:
        description = "A process started with pipes next to a socket: a reverse or bind shell"
    strings:
        $p = /proc_open\s*\(/ nocase
        $s1 = "fsockopen" nocase
        $s2 = "stream_socket_client" nocase
        $s3 = "socket_create" nocase
        $s4 = "socket_connect" nocase
    condition:
        $p and any of ($s*) and filesize < 20KB
}

rule php_packed_literal_chain
{
    meta:
        description = "A payload of many long base64 literals glued together with dots"
    strings:
        $a = /(["'][a-z0-9+\/=]{40,}["']\s*\.\s*){10}/ nocase
    condition:
        $a
}

rule php_compressed_blob
{
    meta:
        description = "A long base64 literal of zlib-compressed data (it starts eJ/eN/eF): packed code"
    strings:
        $z1 = /'e[JNF][A-Za-z0-9+\/]{2000}/
        $z2 = /"e[JNF][A-Za-z0-9+\/]{2000}/
        $open = "<?"
    condition:
        any of ($z*) and $open
}

rule php_eval_string_with_input
{
    meta:
        description = "eval or assert of a string literal that carries request input, or interpolates a variable in a small page that reads the request"
    strings:
        $a1 = /\beval\s*\(\s*(@\s*)?["'][^;]{0,80}\$_(post|get|request|cookie)/ nocase
        $a2 = /\bassert\s*\(\s*(@\s*)?["'][^;]{0,80}\$_(post|get|request|cookie)/ nocase
        $b1 = /\beval\s*\(\s*(@\s*)?"[^"]{0,60}\$[a-z_][a-z0-9_]{0,30}[^"]{0,20}"\s*\)/ nocase
        $b2 = /\bassert\s*\(\s*(@\s*)?"[^"]{0,60}\$[a-z_][a-z0-9_]{0,30}[^"]{0,20}"\s*\)/ nocase
        $in1 = "$_post" nocase
        $in2 = "$_get" nocase
        $in3 = "$_request" nocase
        $in4 = "$_cookie" nocase
    condition:
        any of ($a*) or (filesize < 2KB and any of ($b*) and any of ($in*))
}

rule php_tiny_include_from_request
{
    meta:
        description = "A tiny page that includes a path taken from the request"
    strings:
        $i = /\b(include|require)(_once)?\s*\(?\s*(@\s*)?\$[a-z_][a-z0-9_]{0,30}\s*\)?\s*;/ nocase
        $v = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*\$_(get|post|request|cookie)\s*\[/ nocase
    condition:
        $i and $v and filesize < 1KB
}

rule php_header_driven
{
    meta:
        description = "Commands or code taken from HTTP request headers, or a file written where the request says"
    strings:
        $a1 = /\bsystem\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a2 = /\bpassthru\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a3 = /\bexec\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a4 = /\bshell_exec\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a5 = /\bpopen\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a6 = /\bproc_open\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a7 = /\beval\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $a8 = /\bassert\s*\(\s*(@\s*)?(getenv\s*\(\s*["']|\$_SERVER\s*\[\s*["'])HTTP_/ nocase
        $b1 = /file_put_contents\s*\(\s*\{?\$_(server|get|post|request|cookie)\s*\[/ nocase
        $b2 = /fopen\s*\(\s*\{?\$_(server|get|post|request|cookie)\s*\[/ nocase
    condition:
        any of them
}

rule php_eval_wrapper
{
    meta:
        description = "A function whose whole body evaluates its argument, a reflected function named by the request, or create_function in a tiny page that reads the request"
    strings:
        $a = /function\s+[a-z_][a-z0-9_]{0,30}\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\)\s*\{\s*@?(eval|assert|system|passthru|shell_exec)\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $r = /new\s+reflectionfunction\s*\(\s*\$(_(get|post|request|cookie)|[a-z_][a-z0-9_]{0,30}\s*\[)/ nocase
        $c = /create_function\s*\(/ nocase
        $in1 = "$_post" nocase
        $in2 = "$_get" nocase
        $in3 = "$_request" nocase
        $in4 = "$_cookie" nocase
    condition:
        $a or $r or ($c and any of ($in*) and filesize < 1200)
}

rule php_hidden_code_pieces
{
    meta:
        description = "One-line shells written out by a dropper, superglobal names split, cut short or reversed, rot13 names, ${chr(..)} variables, chr() through a variable"
    strings:
        $a = /<\?(php)?\s*@?(eval|assert)\s*\(\s*\\?\$_(post|get|request)/ nocase
        $b1 = "\"$\".\"_"
        $b2 = "'$'.'_"
        $c1 = "TSOP_"
        $c2 = "'TEG_"
        $c3 = "\"TEG_"
        $c4 = "TSEUQER_"
        $c5 = "EIKOOC_"
        $c6 = "nffreg"
        $c7 = "flfgrz"
        $c8 = "edoced_"
        $d = /\$\{\s*(chr|str_rot13|strrev|base64_decode)\s*\(/ nocase
        $e = /(\$[a-z_][a-z0-9_]{0,30}\s*\(\s*\d{2,3}\s*\)\s*\.\s*){5}/ nocase
        $f = /["']\$_(g|ge|p|po|pos|r|re|req|c|co|coo)["']/ nocase
    condition:
        any of them
}

rule php_superglobal_alias_called
{
    meta:
        description = "A small page that copies a whole superglobal into a variable and calls functions or writes files with its elements"
    strings:
        $a = /=\s*(@\s*)?\$_(post|get|request|cookie|server)\s*;/ nocase
        $v = /\$[a-z_][a-z0-9_]{0,30}\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\[/ nocase
        $w = /file_put_contents\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\[/ nocase
    condition:
        $a and ($v or $w) and filesize < 2KB
}

rule php_xsl_callback
{
    meta:
        description = "An XSL stylesheet that calls assert or system through PHP's XSL function bridge"
    strings:
        $x = "php.net/xsl" nocase
        $f = /:function\s*\(\s*["'](assert|system|exec|passthru|shell_exec|eval|create_function)["']/ nocase
    condition:
        $x and $f
}

rule php_preg_e_hidden
{
    meta:
        description = "An /e pattern kept in a variable for preg_replace, or code packed with pack('H*')"
    strings:
        $a1 = /=\s*"\/[^"\/\r\n]{1,40}\/e"\s*;/
        $a2 = /=\s*'\/[^'\/\r\n]{1,40}\/e'\s*;/
        $p = /preg_replace\s*\(\s*\$/ nocase
        $h = /pack\s*\(\s*["']H\*["']\s*,\s*["'](3c3f|3c25|40?6576616c|40?617373657274|73797374656d|6261736536345f)/ nocase
    condition:
        (any of ($a*) and $p) or $h
}

rule php_str_replace_stages
{
    meta:
        description = "Code unscrambled by a chain of str_replace calls and then evaluated"
    strings:
        $sr = /=\s*str_replace\s*\(\s*["'][^"'\r\n]{2,20}["']\s*,\s*["'][^"'\r\n]{0,4}["']\s*,\s*\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $ev1 = /\beval\s*\(/ nocase
        $ev2 = /\bassert\s*\(/ nocase
    condition:
        filesize < 4KB and #sr >= 5 and any of ($ev*)
}

rule php_chopper_relay
{
    meta:
        description = "A relay that rewrites the base64_decode( of a one-line-shell client's requests and forwards them"
    strings:
        $a = /str_replace\s*\(\s*["']base64_decode\(/ nocase
    condition:
        $a
}

rule php_windows_shell_objects
{
    meta:
        description = "PHP driving WScript.Shell, Shell.Users or the IIS metabase through COM"
    strings:
        $a = /new\s+COM\s*\(\s*["'](shell\.users|wscript\.shell|shell\.application|wscript\.network|iis:\/\/)/ nocase
    condition:
        $a
}

rule php_wordpress_admin_login
{
    meta:
        description = "A stand-alone page that loads WordPress and logs the visitor in as an administrator"
    strings:
        $a = "wp_set_auth_cookie" nocase
        $b = "wp_set_current_user" nocase
        $c = /(wp-blog-header|wp-load)\.php/ nocase
        $d = "administrator"
    condition:
        all of them and filesize < 5KB
}

rule php_mass_mailer
{
    meta:
        description = "A mass mailer: mail() to addresses from a posted list, subject and body taken from the request"
    strings:
        $m = /\bmail\s*\(\s*\$/ nocase
        $to = /\$_(post|get|request)\s*\[\s*["'](emails?|emaillist|maillist|mail_list|lista|list|to)["']/ nocase
        $b = /\$_(post|get|request)\s*\[\s*["'](subject|assunto|html|message|mensagem|from|de|body)["']/ nocase
    condition:
        $m and $to and $b and filesize < 60KB
}

rule php_name_from_chr_pieces
{
    meta:
        description = "Function names glued from literal pieces and chr() codes: \"preg_r\".chr(101).\"pl\".chr(97)..."
    strings:
        $a = /["'][a-z_]{1,12}["']\s*\.\s*chr\s*\(\s*\d{2,3}\s*\)\s*\.\s*["'][a-z_]{1,12}["']\s*\.\s*chr\s*\(/ nocase
    condition:
        $a
}

rule php_socket_shell
{
    meta:
        description = "A loop that opens a socket and runs or evaluates what it reads: reverse shells and remote-code stagers"
    strings:
        $s1 = "fsockopen" nocase
        $s2 = "stream_socket_client" nocase
        $s3 = "socket_create" nocase
        $x1 = /\bshell_exec\s*\(\s*\$/ nocase
        $x2 = /\bsystem\s*\(\s*\$/ nocase
        $x3 = /\bpassthru\s*\(\s*\$/ nocase
        $x4 = /\bpopen\s*\(\s*\$/ nocase
        $x5 = /\bproc_open\s*\(\s*\$/ nocase
        $x6 = /\beval\s*\(\s*\$/ nocase
        $l = "while" nocase
    condition:
        filesize < 12KB and any of ($s*) and any of ($x*) and $l
}

rule php_remote_dropper
{
    meta:
        description = "A small page that downloads a remote text and writes it as a .php file under the document root"
    strings:
        $p = /\$_SERVER\s*\[\s*['"]DOCUMENT_ROOT['"]\s*\]\s*\.\s*["']\/[^"'\r\n]{1,60}\.php["']/ nocase
        $r1 = "curl_exec" nocase
        $r2 = /file_get_contents\s*\(\s*["']https?:/ nocase
        $w1 = "fwrite(" nocase
        $w2 = "file_put_contents(" nocase
        $w3 = "fputs(" nocase
    condition:
        filesize < 5KB and $p and any of ($r*) and any of ($w*)
}

rule php_output_buffer_callback
{
    meta:
        description = "A tiny page whose output buffer is handed to a callback held in a variable or named by a string, fed with request input or a command"
    strings:
        $o = /ob_start\s*\(\s*(\$[a-z_][a-z0-9_]{0,30}|["'][a-z_][a-z0-9_]{0,30}["'])\s*\)/ nocase
        $n = /["'](assert|system|passthru|shell_exec|exec)["']/ nocase
        $in1 = "$_post" nocase
        $in2 = "$_get" nocase
        $in3 = "$_request" nocase
        $in4 = "$_cookie" nocase
    condition:
        $o and ($n or any of ($in*)) and filesize < 1KB
}

rule php_unserialize_gadget
{
    meta:
        description = "Request data unserialized into a class whose destructor or wake-up evaluates a property"
    strings:
        $u = /unserialize\s*\(\s*\$/ nocase
        $d = /function\s+__(destruct|wakeup)\s*\(/ nocase
        $e = /\b(eval|assert|system)\s*\(\s*\$this\s*->/ nocase
    condition:
        all of them
}

rule php_card_skimmer
{
    meta:
        description = "Shop code that mails card numbers and their security codes or billing details away (a payment skimmer)"
    strings:
        $c1 = "getccnumber" nocase
        $c2 = "cc_number" nocase
        $v1 = "getcccid" nocase
        $v2 = "cc_cid" nocase
        $v3 = "getccexp" nocase
        $v4 = "cc_exp" nocase
        $v5 = "billing" nocase
        $m = /\bmail\s*\(/ nocase
    condition:
        any of ($c*) and any of ($v*) and $m
}

rule php_credential_mailer
{
    meta:
        description = "A phishing collector: posted passwords or card data mailed out together with the visitor's address"
    strings:
        $ip1 = /getenv\s*\(\s*["']REMOTE_ADDR/ nocase
        $ip2 = /\$_SERVER\s*\[\s*["']REMOTE_ADDR/ nocase
        $p = /\.=\s*["'][^"'\r\n]{0,30}(password|passwd|pass|card number|cvv)[^"'\r\n]{0,20}["']\s*\.\s*\$_POST\s*\[/ nocase
        $m = /\bmail\s*\(/ nocase
    condition:
        filesize < 10KB and any of ($ip*) and $p and $m
}

rule php_nested_variable_calls
{
    meta:
        description = "Decoders held in variables and applied to each other four deep, $a($b($c($d(...)))), or eval of a variable decoder applied to another variable or to request input"
    strings:
        $a = /\$[a-z0-9_]{1,30}\s*\(\s*\$[a-z0-9_]{1,30}\s*\(\s*\$[a-z0-9_]{1,30}\s*\(\s*\$[a-z0-9_]{1,30}\s*\(/ nocase
        $b = /\beval\s*\(\s*\$[a-z0-9_]{1,30}\s*\(\s*\$[a-z0-9_]{1,30}\s*\)\s*\)/ nocase
        $c = /\beval\s*\(\s*(@\s*)?\$[^\s(=;]{1,30}\s*\(\s*\$_(post|get|request|cookie)/ nocase
    condition:
        any of them
}

rule php_reversed_name_pieces
{
    meta:
        description = "Pieces of base64_decode, create_function, eval, assert or system written backwards and turned round with strrev"
    strings:
        $a = /strrev\s*\(\s*["'](esab|edoced|taerc|noitcnu|lave|tressa|metsys|etalfni|cexe|31tor)/ nocase
    condition:
        $a
}

rule php_shell_module_registry
{
    meta:
        description = "A tabbed web shell that registers its modules (explorer, terminal, database, mail, network) and packed resources in $GLOBALS"
    strings:
        $m = /\$GLOBALS\s*\[\s*["'](module|resources)["']\s*\]\s*\[/
    condition:
        $m
}

rule php_symbol_only_payload
{
    meta:
        description = "A long literal made of punctuation only: code packed into symbols and decoded at run time"
    strings:
        $a = /['"][!-\/:-@\[-`{-~]{300}/
    condition:
        $a
}

rule php_encoded_eval_call
{
    meta:
        description = "Base64 text of eval(gzinflate(, eval(base64_decode(, eval(str_rot13(, eval($_POST[ and the like, whatever decodes it"
    strings:
        $a1 = "ZXZhbChnemluZmxhdGUo"
        $a2 = "ZXZhbChiYXNlNjRfZGVjb2Rl"
        $a3 = "ZXZhbChzdHJfcm90MTMo"
        $a4 = "ZXZhbChnenVuY29tcHJlc3Mo"
        $a5 = "ZXZhbCgkX1BPU1Rb"
        $a6 = "ZXZhbCgkX1JFUVVFU1Rb"
        $a7 = "YXNzZXJ0KCRfUE9TVF"
    condition:
        any of them
}

rule php_binary_identifiers
{
    meta:
        description = "Globals and variables named with raw high bytes: the output of encoders that hide every name"
    strings:
        $g = /global\s*\$[\x80-\xff]/
    condition:
        $g
}

rule php_decoded_pattern_replace
{
    meta:
        description = "preg_replace with a pattern that is itself decoded (base64, rot13, reversed, hex): a hidden /e modifier"
    strings:
        $a = /preg_replace\s*\(\s*(base64_decode|str_rot13|strrev|gzinflate|hex2bin|pack|urldecode|rawurldecode|chr)\s*\(/ nocase
    condition:
        $a
}

rule php_junk_create_function
{
    meta:
        description = "create_function hidden in a junk-filled literal cleaned by str_replace"
    strings:
        $a = /str_replace\s*\(\s*["'][^"'\r\n]{1,4}["']\s*,\s*["']["']\s*,\s*["'][^"'\r\n]{0,12}c[^"'\r\n]{0,6}r[^"'\r\n]{0,6}e[^"'\r\n]{0,6}a[^"'\r\n]{0,6}t[^"'\r\n]{0,6}e[^"'\r\n]{0,6}_/ nocase
        $b = /chr\s*\(\s*\d{1,3}\s*\)\s*\^\s*chr\s*\(/ nocase
    condition:
        any of them
}

rule php_connect_back_command
{
    meta:
        description = "A command run against the visitor's own address (connect-back helpers), a cron job installed from PHP, or local files read through curl's file:// scheme"
    strings:
        $a = /\b(system|exec|passthru|shell_exec|popen|proc_open)\s*\([^;]{0,80}\$_SERVER\s*\[\s*["']REMOTE_(ADDR|PORT)/ nocase
        $b = /\b(system|exec|shell_exec|passthru|popen)\s*\(\s*["'][^"'\r\n]{0,40}crontab/ nocase
        $c = /CURLOPT_URL\s*,\s*["']file:/ nocase
    condition:
        any of them
}

rule php_database_from_request
{
    meta:
        description = "A database connection opened with the host, user or password taken from the request: database-manager shells"
    strings:
        $a = /\b(mysql_connect|mysqli_connect|new\s+mysqli|pg_connect|mssql_connect|mysql_pconnect)\s*\(\s*(@\s*)?\$_(get|post|request|cookie)/ nocase
    condition:
        $a
}

rule php_request_keys_decoded
{
    meta:
        description = "Request parameters whose names are themselves decoded at run time, $_GET[f(\"base64\")]: the parameter names are hidden"
    strings:
        $a = /\$_(get|post|request|cookie)\s*\[\s*[a-z0-9_]{3,30}\s*\(\s*["'][a-z0-9+\/=]{4,}["']\s*\)\s*\]/ nocase
    condition:
        $a
}

rule php_agent_upload_and_exec
{
    meta:
        description = "A remote agent: writes files from base64 it is sent and runs the commands it is sent"
    strings:
        $u = /file_put_contents\s*\([^;]{0,60}base64_decode\s*\(\s*\$/ nocase
        $x1 = /\bexec\s*\(\s*\$/ nocase
        $x2 = /\bsystem\s*\(\s*\$/ nocase
        $x3 = /shell_exec\s*\(\s*\$/ nocase
        $x4 = /passthru\s*\(\s*\$/ nocase
        $x5 = /popen\s*\(\s*\$/ nocase
        $x6 = /proc_open\s*\(\s*\$/ nocase
    condition:
        $u and any of ($x*)
}

rule php_packer_template
{
    meta:
        description = "A packer that writes out eval(decoder(\"...\")): eval of a variable function applied to a literal"
    strings:
        $a = /\beval\s*\(\s*\$[a-z_0-9]{1,30}\s*\(\s*\\?["']/ nocase
    condition:
        $a
}

rule php_eval_system_switches
{
    meta:
        description = "A file manager whose settings switch on evaluating PHP code and running shell commands for its user"
    strings:
        $e = /\$[a-z_]{0,20}eval_access\s*=\s*true/ nocase
        $s = /\$system_access\s*=\s*true/ nocase
    condition:
        $e and $s
}

rule php_upload_to_php_name
{
    meta:
        description = "An upload, or a copy, stored under a fixed .php name: the page installs code"
    strings:
        $a = /\b(move_uploaded_file|copy)\s*\([^;,]{1,60},\s*["'][^"'\r\n$]{1,40}\.ph(p\d?|tml)["']/ nocase
    condition:
        $a
}

rule php_commented_calls
{
    meta:
        description = "Calls and array reads split from their parenthesis or bracket by a short comment, move_uploaded_file/*;*/(...), to slip past simple pattern matching"
    strings:
        $a = /\/\*[^*\r\n]{0,10}\*\/\s*[\(\[]/
    condition:
        any of them
}

rule php_request_written_then_included
{
    meta:
        description = "Request input written into a file (then included or served): file_put_contents(..., $_GET[...])"
    strings:
        $a = /file_put_contents\s*\([^;]{1,80},\s*(@\s*)?\$_(get|post|request|cookie)\s*\[/ nocase
    condition:
        $a
}

rule php_name_from_own_file
{
    meta:
        description = "A function name cut out of the script's own file name, substr(__FILE__, -n), or variables named by strings set straight from the request"
    strings:
        $a = /substr\s*\(\s*__FILE__\s*,\s*-/ nocase
        $b = /\$\{\s*["'][a-z_0-9]{1,30}["']\s*\}\s*=\s*(@\s*)?\$_(post|get|request|cookie)/ nocase
    condition:
        any of them
}

rule php_decoded_sort_callback
{
    meta:
        description = "A sort whose comparison callback is decoded from a variable, or YAML parsing with preg_replace or assert as a tag callback"
    strings:
        $a = /sort\s*\([^;]{0,100},\s*(base64_decode|str_rot13|strrev|gzinflate|hex2bin)\s*\(\s*\$[a-z_0-9]{1,30}\s*\)\s*\)/ nocase
        $b = /yaml_parse\s*\([^;]{0,200}=>\s*["'](preg_replace|assert|system|eval|create_function)/ nocase
    condition:
        any of them
}

rule php_tiny_assert_of_code_string
{
    meta:
        description = "A tiny page that asserts a variable while a literal holds a command call: code evaluated through assert"
    strings:
        $a = /\bassert\s*\(\s*\$[a-z_0-9]{1,30}\s*\)/ nocase
        $s1 = "system(" nocase
        $s2 = "exec(" nocase
        $s3 = "passthru(" nocase
        $s4 = "popen(" nocase
        $s5 = "phpinfo(" nocase
    condition:
        $a and any of ($s*) and filesize < 1KB
}

rule php_doc_comment_code
{
    meta:
        description = "A tiny page that reads a doc comment through reflection and cuts code pieces out of it"
    strings:
        $d = "getDocComment" nocase
        $v = /substr\s*\(\s*\$[a-z_0-9]{1,30}\s*,\s*strpos\s*\(/ nocase
    condition:
        $d and $v and filesize < 1KB
}

rule php_request_chmod
{
    meta:
        description = "A tiny page that makes a path from the request world-writable"
    strings:
        $c = /chmod\s*\(\s*\$[a-z_0-9]{1,30}\s*,\s*0?777/ nocase
        $in = /\$_(get|post|request)\s*\[/ nocase
    condition:
        $c and $in and filesize < 1KB
}

rule php_small_table_dumper
{
    meta:
        description = "A small page that dumps every table's definition and rows of the database into a file"
    strings:
        $s = /show\s+create\s+table/ nocase
        $w1 = /fopen\s*\(\s*\$[a-z_0-9]{1,30}\s*,\s*["'][wa]/ nocase
        $w2 = "file_put_contents" nocase
    condition:
        $s and any of ($w*) and filesize < 2KB
}

rule php_listening_socket
{
    meta:
        description = "A script that listens on a socket and runs without a time limit: bind shells and proxies (SOCKS)"
    strings:
        $l1 = "socket_listen" nocase
        $l2 = "stream_socket_server" nocase
        $t = /set_time_limit\s*\(\s*0/ nocase
    condition:
        any of ($l*) and $t and filesize < 40KB
}


rule php_link_spam_client
{
    meta:
        description = "A paid-link client that fetches link blocks from its server and prints them into the site's pages"
    strings:
        $a = "_SAPE_USER"
    condition:
        $a
}

rule php_request_command_concatenated
{
    meta:
        description = "A page that takes a cmd or command field and runs a shell command glued from a literal and variables"
    strings:
        $x1 = /shell_exec\s*\(\s*["'][^"'\r\n]{0,60}["']\s*\.\s*\$/ nocase
        $x2 = /passthru\s*\(\s*["'][^"'\r\n]{0,60}["']\s*\.\s*\$/ nocase
        $x3 = /\bsystem\s*\(\s*["'][^"'\r\n]{0,60}["']\s*\.\s*\$/ nocase
        $x4 = /\bexec\s*\(\s*["'][^"'\r\n]{0,60}["']\s*\.\s*\$/ nocase
        $x5 = /popen\s*\(\s*["'][^"'\r\n]{0,60}["']\s*\.\s*\$/ nocase
        $x6 = /proc_open\s*\(\s*["'][^"'\r\n]{0,60}["']\s*\.\s*\$/ nocase
        $in = /\$_(post|get|request|cookie)\s*\[\s*["'](cmd|command|exec|execute|shell|komut)["']\s*\]/ nocase
    condition:
        any of ($x*) and $in
}

rule php_small_file_editor
{
    meta:
        description = "A small page with a text area that writes posted text to a path taken from the request"
    strings:
        $p = /\$[a-z_][a-z0-9_]{0,30}\s*=\s*(@\s*)?\$_(post|get|request)\s*\[[^\]]{1,40}\]\s*;/ nocase
        $w = /fopen\s*\(\s*\$[a-z_0-9]{1,30}\s*,\s*["'][wa]/ nocase
        $t = "<textarea" nocase
    condition:
        $p and $w and $t and filesize < 4KB
}

rule php_mails_install_location
{
    meta:
        description = "Mails the server's address, document root and script path home: a back door reporting where it was planted"
    strings:
        $m = /\bmail\s*\(/ nocase
        $a = "SCRIPT_FILENAME"
        $b = "SERVER_ADDR"
        $c = "DOCUMENT_ROOT"
        $d = "HTTP_REFERER"
    condition:
        all of them
}

rule php_drops_decoded_php
{
    meta:
        description = "Writes decoded text (base64, gzip, rot13, hex) straight into a .php file"
    strings:
        $a = /file_put_contents\s*\(\s*["'][^"'\r\n]{1,80}\.ph(p\d?|tml)["']\s*,\s*(base64_decode|gzinflate|gzuncompress|str_rot13|hex2bin)\s*\(/ nocase
    condition:
        $a
}

rule php_request_harvester
{
    meta:
        description = "Appends the whole request, posted form or cookies to a file: credential harvesting planted in shop or login code"
    strings:
        $a = /file_put_contents\s*\([^;]{0,200}(serialize|json_encode|print_r|var_export|implode)\s*\(\s*\$_(request|post|cookie)\b[^;]{0,100}FILE_APPEND/ nocase
    condition:
        $a
}

rule php_self_appending
{
    meta:
        description = "A script that appends to its own source file, so that posted text becomes code"
    strings:
        $a = /fopen\s*\(\s*__FILE__\s*,\s*["'][aw]/ nocase
        $in = /\$_(post|get|request|cookie)\s*\[/ nocase
    condition:
        $a and $in
}

rule php_java_runtime_reflection
{
    meta:
        description = "An expression-language payload that reaches java.lang.Runtime through reflection to run commands"
    strings:
        $a = /loadClass\s*\(\s*["']java\.lang\.(Runtime|ProcessBuilder)/ nocase
    condition:
        $a
}

rule php_variable_create_function_called
{
    meta:
        description = "A function made by a variable holding create_function with no arguments, $f = $c(\"\", $code); $f();, or a variable called with an /e pattern"
    strings:
        $a = /=\s*\$[a-z_0-9]{1,30}\s*\(\s*(""|'')\s*,\s*\$[a-z_0-9]{1,30}\s*\)\s*;\s*\$[a-z_0-9]{1,30}\s*\(\s*\)/ nocase
        $b = /\$[a-z_0-9]{1,30}\s*\(\s*["']\/[^"'\r\n]{1,60}\/[imsx]{0,4}e[imsx]{0,4}["']\s*,/ nocase
        $c = /=\s*[a-z0-9_]{6,40}\s*\^\s*["']/ nocase
    condition:
        any of them
}

rule php_eval_variable_with_request
{
    meta:
        description = "eval of a plain variable in a page that reads request fields: code taken from the visitor, whatever the route"
    strings:
        $e = /@?\beval\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
        $in = /\$_(post|get|request|cookie)\s*\[/ nocase
    condition:
        $e and $in and filesize < 100KB
}

rule php_name_from_short_pieces
{
    meta:
        description = "A name glued from four or more literal pieces of one to four letters: 'as'.'s'.'er'.'t'"
    strings:
        $a = /(["'][a-z_0-9]{1,4}["']\s*\.\s*){3}["'][a-z_0-9]{1,4}["']/ nocase
    condition:
        $a
}

rule php_bitwise_literal_assignments
{
    meta:
        description = "Several variables set to a string literal XORed, ORed or ANDed with something: names computed by bit operations on text"
    strings:
        $a = /\$[a-z0-9_]{1,20}\s*=\s*\(?['"][^'"\r\n]{1,40}['"]\s*[\^|&]/ nocase
    condition:
        #a >= 3
}

rule php_database_manager
{
    meta:
        description = "A database manager: host and password taken from the request, then any table's columns listed generically"
    strings:
        $h = /\$_(post|get|request|cookie)\s*\[\s*["'][a-z]{0,4}host["']\s*\]/ nocase
        $p = /\$_(post|get|request|cookie)\s*\[\s*["'][a-z]{0,4}(pass|password|pwd|passwd)["']\s*\]/ nocase
        $f1 = "num_fields" nocase
        $f2 = "field_name" nocase
        $f3 = "fetch_field" nocase
    condition:
        $h and $p and any of ($f*)
}

rule php_session_file_reader
{
    meta:
        description = "Walks the temporary folder for other visitors' session files (sess_*) and reads them: session theft"
    strings:
        $s = "sess_"
        $t = /["']\/tmp/
        $w1 = /readdir\s*\(/ nocase
        $w2 = /glob\s*\(/ nocase
        $w3 = /scandir\s*\(/ nocase
    condition:
        $s and $t and any of ($w*)
}

rule php_obfuscator_generator
{
    meta:
        description = "A generator of hidden code that names its variables with random high bytes: chr(rand(129, 214))"
    strings:
        $a = /chr\s*\(\s*(mt_)?rand\s*\(\s*1[2-9][0-9]\s*,\s*2[0-5][0-9]\s*\)\s*\)/ nocase
    condition:
        $a
}

rule php_sink_near_request_input
{
    meta:
        description = "eval, assert or a command function whose argument, within the same statement, carries request input: glued, wrapped or interpolated"
    strings:
        $e1 = /\beval\s*\([^;]{0,120}(\$_(post|get|request|cookie|server|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $e2 = /\bassert\s*\([^;]{0,120}(\$_(post|get|request|cookie|server|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x1 = /\bsystem\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x2 = /\bpassthru\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x3 = /\bshell_exec\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x4 = /\bexec\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x5 = /\bpopen\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x6 = /\bproc_open\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
        $x7 = /\bpcntl_exec\s*\([^;]{0,120}(\$_(post|get|request|cookie|files)|\$HTTP_(POST|GET|COOKIE)_VARS|filter_input|php:\/\/input|getallheaders|\$\{\s*["']_)/ nocase
    condition:
        any of them
}


rule php_writable_folder_finder
{
    meta:
        description = "A small page that walks the folders from a path the request gives and reports which ones are writable: looking for where to drop files"
    strings:
        $w = /is_writable\s*\(/ nocase
        $r = /readdir\s*\(/ nocase
        $o = /opendir\s*\(\s*\$/ nocase
        $in = /\$_(post|get|request)\s*\[/ nocase
    condition:
        all of them and filesize < 10KB
}

rule php_port_scanner
{
    meta:
        description = "A page that loops over ports from the request and tries a connection to each: a port scanner run from the server"
    strings:
        $c = /fsockopen\s*\(\s*\$[a-z_0-9]{1,30}\s*,\s*\$[a-z_0-9]{0,10}port/ nocase
        $l1 = /as\s+\$[a-z_0-9]{0,10}port\s*\)/ nocase
        $l2 = /for\s*\(\s*\$[a-z_0-9]{0,10}port\s*=/ nocase
        $in = /\$_(post|get|request)\s*\[/ nocase
    condition:
        $c and any of ($l*) and $in
}

rule php_list_mailer
{
    meta:
        description = "A bulk mailer: reads an address list from a file with file() and mails it out with forged return headers"
    strings:
        $m = "mail(" nocase
        $f = /\bfile\s*\(\s*\$/ nocase
        $r = "Return-Path" nocase
    condition:
        all of them
}

rule php_database_login_cookies
{
    meta:
        description = "A database client that keeps the database name and password given by its user in cookies"
    strings:
        $p = /setcookie\s*\(\s*["'][a-z_]{0,8}(pass|pwd|password)["']/ nocase
        $d = /setcookie\s*\(\s*["'](db|host|dbhost|dbname|database|db_name|server)["']/ nocase
        $c1 = "mysql_connect" nocase
        $c2 = "mysqli_connect" nocase
        $c3 = "pg_connect" nocase
        $c4 = /new\s+(mysqli|PDO)\b/ nocase
    condition:
        $p and $d and any of ($c*)
}

rule php_o0_identifiers
{
    meta:
        description = "Several variables named only with the letter O and the digit 0, the mark of one family of PHP encoders"
    strings:
        $a = /\$[O0_]{0,2}[O0]{5,}/
    condition:
        #a >= 3
}

rule php_callback_name_computed
{
    meta:
        description = "A callback whose name is computed on the spot by a string function, array_map(substr_replace($b, 'ss', 1, 0), ...): the function's name is hidden"
    strings:
        $c = /(array_map|array_filter|array_walk|call_user_func(_array)?|usort|uasort|uksort|register_shutdown_function)\s*\(\s*(substr_replace|strrev|str_replace|str_rot13|base64_decode|gzinflate|hex2bin|implode|join|ucfirst|strtolower)\s*\(/ nocase
    condition:
        $c
}

rule php_xor_literal_pairs
{
    meta:
        description = "Names glued from XORs of one- to three-character literals, (\"#\"^\"|\").(\"#\"^\"|\"): a symbol-only way to spell functions and superglobals"
    strings:
        $d = /\(\s*"[^"\\\r\n]{1,3}"\^"[^"\\\r\n]{1,3}"\s*\)\s*\.\s*\(\s*"[^"\\\r\n]{1,3}"\^"/
        $s = /\(\s*'[^'\\\r\n]{1,3}'\^'[^'\\\r\n]{1,3}'\s*\)\s*\.\s*\(\s*'[^'\\\r\n]{1,3}'\^'/
    condition:
        #d + #s >= 3
}

rule php_chr_arithmetic_evaluated
{
    meta:
        description = "Characters computed with chr(n ^ m) or chr(n + m) and the result evaluated or asserted"
    strings:
        $c = /chr\s*\(\s*\d{1,3}\s*[\^+\-]\s*\d{1,3}\s*\)/ nocase
        $e1 = /\b(eval|assert|create_function)\s*\(/ nocase
    condition:
        #c >= 3 and $e1 and filesize < 4KB
}

rule php_superglobal_name_in_pieces
{
    meta:
        description = "A superglobal's name cut into string pieces (\"_PO\" . \"ST\") and the glued text evaluated"
    strings:
        $p1 = "\"_PO\"" nocase
        $p2 = "'_PO'" nocase
        $p3 = "\"_POS\"" nocase
        $p4 = "'_POS'" nocase
        $p5 = "\"_GE\"" nocase
        $p6 = "'_GE'" nocase
        $p7 = "\"_REQ\"" nocase
        $p8 = "'_REQ'" nocase
        $p9 = "\"$_P\"" nocase
        $p10 = "'$_P'" nocase
        $e = /@?\b(eval|assert)\s*\(\s*\$[a-z_][a-z0-9_]{0,30}\s*\)/ nocase
    condition:
        any of ($p*) and $e
}

rule php_code_in_utf16
{
    meta:
        description = "PHP saved as UTF-16 that evaluates decoded or request text: encoders hiding from byte-wise pattern matching"
    strings:
        $o = "<?php" wide nocase
        $e1 = "eval(" wide nocase
        $e2 = "assert(" wide nocase
        $d1 = "base64_decode(" wide nocase
        $d2 = "gzinflate(" wide nocase
        $d3 = "str_rot13(" wide nocase
        $d4 = "$_POST" wide nocase
        $d5 = "$_REQUEST" wide nocase
    condition:
        $o and any of ($e*) and any of ($d*)
}

rule php_keyed_decrypt_and_run
{
    meta:
        description = "A payload decrypted byte by byte with a key from the request or a cookie, chr(ord($c[$i]) - ord($k[$i])), and then run"
    strings:
        $k = /chr\s*\(\s*\(?\s*ord\s*\(\s*\$[a-z_0-9]{1,30}\s*\[\s*\$[a-z_0-9]{1,30}\s*\]\s*\)\s*[\-+\^]\s*ord\s*\(\s*\$[a-z_0-9]{1,30}\s*\[/ nocase
        $x1 = /create_function\s*\(/ nocase
        $x2 = /\beval\s*\(/ nocase
        $x3 = /\bassert\s*\(/ nocase
        $in1 = "$_POST" nocase
        $in2 = "$_COOKIE" nocase
        $in3 = "$_REQUEST" nocase
        $in4 = "$_GET" nocase
    condition:
        $k and any of ($x*) and any of ($in*)
}

rule php_character_table_in_array
{
    meta:
        description = "Names spelled out of a character table kept in an array element, $g['a7b1'][45].$g['a7b1'][60]...: the obfuscator hides every name"
    strings:
        $s = /'\]\[\d{1,3}\]\s*\.\s*\$[a-z0-9_]{1,30}\['[a-z0-9_]{1,12}'\]\[\d{1,3}\]/ nocase
        $d = /"\]\[\d{1,3}\]\s*\.\s*\$[a-z0-9_]{1,30}\["[a-z0-9_]{1,12}"\]\[\d{1,3}\]/ nocase
    condition:
        #s >= 30 or #d >= 30
}

rule php_drive_letter_browser
{
    meta:
        description = "A folder browser that walks the server's drive letters and opens folders named by the request"
    strings:
        $d = /is_dir\s*\(\s*\$[a-z_0-9]{1,20}\s*\.\s*["']:/ nocase
        $o1 = "opendir" nocase
        $o2 = "scandir" nocase
        $in1 = "$_REQUEST" nocase
        $in2 = "$_GET" nocase
        $in3 = "$_POST" nocase
    condition:
        $d and any of ($o*) and any of ($in*)
}

rule php_remote_script_saved
{
    meta:
        description = "A small page that downloads a remote .php file and saves it under the same name on the server"
    strings:
        $u = /https?:\/\/[a-z0-9.\-]{4,80}\/[^"'\s]{0,150}\.php["']/ nocase
        $b1 = /pathinfo_basename/ nocase
        $b2 = /basename\s*\(\s*\$url/ nocase
        $g1 = "curl_exec" nocase
        $g2 = /\bcopy\s*\(\s*\$url/ nocase
        $w1 = "file_put_contents" nocase
        $w2 = /\bcopy\s*\(/ nocase
    condition:
        filesize < 4KB and $u and any of ($b*) and any of ($g*) and any of ($w*)
}

rule php_search_bot_cloaking
{
    meta:
        description = "Cloaking: search-engine robots are told apart by their user agent and served pages fetched from a remote server (spam doorways planted in sites)"
    strings:
        $b = "googlebot" nocase
        $ua = "HTTP_USER_AGENT" nocase
        $h1 = /\$_SERVER\s*\[\s*['"](HTTP_HOST|SERVER_NAME|REQUEST_URI)['"]\s*\]/ nocase
        $u = /https?:\/\/[a-z0-9.\-]{4,80}\/[^"'\s]{0,100}\?/ nocase
        $f1 = "curl_exec" nocase
        $f2 = /file_get_contents\s*\(\s*["']https?:/ nocase
        $e = /\becho\s+\$/ nocase
    condition:
        filesize < 30KB and $b and $ua and $h1 and $u and any of ($f*) and $e
}

rule php_host_reported_to_address
{
    meta:
        description = "A page that sends its own host name to a server given by a bare IP address and prints what comes back (remote-controlled content)"
    strings:
        $r = /https?:\/\/\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[\/:"']/ nocase
        $h = /\$_SERVER\s*\[\s*['"](HTTP_HOST|SERVER_NAME)['"]\s*\]/ nocase
        $f1 = "file_get_contents" nocase
        $f2 = "curl_exec" nocase
        $e = /\becho\s+\$/ nocase
    condition:
        filesize < 3KB and $r and $h and any of ($f*) and $e
}

rule php_security_plugin_tamper
{
    meta:
        description = "Switches off or empties the findings of WordPress security scanners (Wordfence, iThemes, All in One, Exploit Scanner) so a planted file stays unseen"
    strings:
        $p1 = "wfconfig" nocase
        $p2 = "wfissues" nocase
        $p3 = "wfstatus" nocase
        $p4 = "itsec_file_change" nocase
        $p5 = "aiowps_" nocase
        $p6 = "exploitscanner_" nocase
        $p7 = "scan_exclude" nocase
        $a1 = "truncate" nocase
        $a2 = "update_option" nocase
        $a3 = /delete\s+from/ nocase
    condition:
        3 of ($p*) and any of ($a*)
}

rule php_udp_flood
{
    meta:
        description = "A flooder: UDP sockets opened to a target from the request and written in a loop that ignores the visitor leaving"
    strings:
        $u = /fsockopen\s*\(\s*["']udp:\/\// nocase
        $i = "ignore_user_abort" nocase
        $t = /set_time_limit\s*\(\s*0\s*\)/ nocase
        $w1 = "fwrite" nocase
        $w2 = "fputs" nocase
    condition:
        $u and ($i or $t) and any of ($w*)
}

rule php_reverse_ip_lookup
{
    meta:
        description = "Finds the other sites on the server through search-engine ip: queries or reverse-IP services: choosing neighbours to attack"
    strings:
        $b = /bing\.com\/search\?q=/ nocase
        $q = /["']ip:\s*\$/ nocase
        $s1 = "guerrilladns.com" nocase
        $s2 = "yougetsignal.com" nocase
        $s3 = "reverseip" nocase
        $c = "curl_exec" nocase
        $in1 = "$_POST" nocase
        $in2 = "$_GET" nocase
        $in3 = "$_REQUEST" nocase
    condition:
        (($b and $q) or any of ($s*)) and $c and any of ($in*)
}

rule php_includes_image_or_text
{
    meta:
        description = "Includes an image file as code, or is nothing but an include of a .txt file: code hidden in a file that no one reads as code"
    strings:
        $i = /\b(include|require)(_once)?\s*\(?\s*["'][^"'\r\n]{0,80}\.(jpe?g|gif|png|bmp|ico)["']/ nocase
        $t = /\b(include|require)(_once)?\s*\(?\s*["'][^"'\r\n]{0,80}\.(txt|log|dat|tmp)["']/ nocase
    condition:
        $i or ($t and filesize < 200)
}

rule php_commands_fed_to_process
{
    meta:
        description = "A process started with pipes and fed shell commands (id, whoami, uname...) on its standard input"
    strings:
        $p = "proc_open" nocase
        $c = /fwrite\s*\(\s*\$pipes\s*\[\s*0\s*\]\s*,\s*["'](id|pwd|whoami|uname|ls|cat|cd|wget|curl|net|dir|ipconfig|ifconfig|ps|netstat)\b/ nocase
    condition:
        $p and $c
}

rule php_small_phpinfo_page
{
    meta:
        description = "A small page whose work is phpinfo(): a probe that shows the server's whole configuration"
    strings:
        $i = /\bphpinfo\s*\(\s*\)/ nocase
    condition:
        $i and filesize < 700
}

rule php_site_packer
{
    meta:
        description = "Packs whole folders, read file by file, into an archive whose folder or name the request chooses: copying a site away"
    strings:
        $a = /->\s*addfile\s*\(\s*(implode\s*\(\s*['"]['"]\s*,\s*)?(file|file_get_contents)\s*\(/ nocase
        $r = "readdir" nocase
        $in = /\$_(request|post|get)\s*\[\s*['"]?(todir|zipname|zip|zipfile|dir|tdir|path|folder)\b/ nocase
    condition:
        $a and $r and $in
}

rule php_injectable_query_page
{
    meta:
        description = "A small page that drops a request parameter unescaped into a SELECT: an injection hole planted on purpose (a test bed for SQL injection)"
    strings:
        $a1 = "$_GET[" nocase
        $a2 = "$_POST[" nocase
        $a3 = "$_REQUEST[" nocase
        $q = /["']select\s+\*\s+from\s+\w{1,30}\s+where\s+\w{1,30}\s*=\s*'?\$[a-z_]{1,20}'?\s*["']/ nocase
        $m = /mysqli?_(db_)?query\s*\(/ nocase
        $x = "escape_string" nocase
    condition:
        filesize < 10KB and any of ($a*) and $q and $m and not $x
}
