// Pages in any server language that relay traffic for an attacker.

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
