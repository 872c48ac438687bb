// Server scripts hidden after an image header: a file that starts as a GIF,
// JPEG, PNG or BMP and carries script code. An image has no business holding
// "<?php" or an ASP block that calls into the server.

rule script_in_image
{
    meta:
        description = "Server-side script inside a file that starts like an image"
    strings:
        $php1 = "<?php" nocase
        $php2 = /<\?=?\s*(eval|assert|system|exec|passthru|shell_exec|include|require|\$_)/ nocase
        $asp1 = /<%\s*(eval|execute|@\s*page|response\.|request|set\s|dim\s|=\s*request)/ nocase
        $asp2 = /<script[^>]{0,40}runat\s*=\s*["']?server/ nocase
        $jsp = /<%\s*(@\s*page|runtime|new\s+java|out\.print)/ nocase
    condition:
        (uint32be(0) == 0x47494638 or uint16be(0) == 0xFFD8 or uint32be(0) == 0x89504E47 or
         (uint16(0) == 0x4D42 and filesize > 26)) and any of them
}
