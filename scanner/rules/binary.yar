// Executables carried inside scripts: a dropper or a database UDF library
// written out as hex or base64 text. A server script has no business
// spelling out a Windows or Linux program.

rule script_carries_executable
{
    meta:
        description = "A Windows (MZ/PE) or Linux (ELF) executable, or a Java class file, embedded as hex or base64 text"
    strings:
        $h1 = /0x4d5a[0-9a-f]{200}/ nocase
        $h2 = /["']4d5a90000300000004000000ffff/ nocase
        $h3 = /0x7f454c46[0-9a-f]{200}/ nocase
        $b1 = "TVqQAAMAAAAEAAAA"
        $b2 = "f0VMRgIBAQAAAAAAAAAAA"
        $b3 = "f0VMRgEBAQAAAAAAAAAAA"
        // Java class files (CAFEBABE), the payload of memory shells that
        // define classes at run time.
        $j1 = /["']cafebabe0000[0-9a-f]{4}[0-9a-f]{200}/ nocase
        $j2 = /["']yv66vgAAA[A-Za-z0-9+\/]{200}/
    condition:
        any of them
}
