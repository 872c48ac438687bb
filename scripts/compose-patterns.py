#!/usr/bin/env python3
"""Writes filter/patterns/text1.pcre and text2.pcre, the injection texts, from
their grammar below; then run scripts/scramble-patterns.py.

The texts match the subject FoldSubject leaves (blanks and comments folded to
one space, typographic single quotes made quotes, GBK punctuation trail bytes
masked). What makes a value an injection is that it closes the context it
sits in (a quote or a number at the start of a value, or nothing) and goes on
in SQL; prose has SQL words and quotes but no SQL syntax after such a close. Text 2 (cookies and POST bodies)
differs from text 1 only in also ending a value at ';'.

Every top-level alternative starts with a byte from a small set ('=', '&',
the byte before a word, a few punctuation bytes), so PCRE can skip ahead to
the next such byte; nothing re-scans a run of bytes from each of its
positions, so the cost stays linear in the length of the subject.

  --print [--cookie]   print one text instead of writing the files
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def build(cookie):
    END = "[&;]" if cookie else "&"
    Q = r"(?&q)"; S = r"(?&s)"; C = r"(?&c)"; L = r"(?&l)"; F = r"(?&f)"; K = r"(?&k)"; X = r"(?&x)"
    VS = r"[=&]"
    TOK = r"[^\s'\"`&=(,\x80-\xff]*+" + Q + Q + "?"
    parts = []
    # value start: a closing quote or number, or nothing, then SQL
    parts.append(VS + r"(?:" + TOK + r"[)\s]*+(?:--(?![a-z])|#|\( ?select\b|/\*|;|collate\b|,\s*null\b|" + L + K + r"|" + X + r"|" + C + r"\s*(?:binary\s)?(?:" + Q + r"|\w*\(|\d)|[-=<>!~^|&*/%+]+\s*(?:" + Q + r"[\w(@]|[(@]|[\w.$]++\s*(?:\(|--|#))|[^'\"&]{0,40}?(?:--[\s-]*|(?<![a-z])#)(?:$|" + END + r"))"
                 r"|-?\d++[)\s]*+(?:" + L + K + r"|" + X + r"|" + C + r"|[-+*/]" + S + r"select\b|;\s*(?:$|--|#))|-\d++\s*" + L + r"\s*\d"
                 r"|[\s(]*+(?!\d)(?:" + L + K + r"|(?&y)|from\s+[\w.`]++\s+(?:limit|where|group)\b|sleep\s*\(\s*\d+\s*\)\s*(?:$|" + END + r")|" + F + r"\s*\([^&]{0,40}?\)\s*(?:--(?!>)|#|/\*|[=<>])|select" + S + r"(?:[\w.]++\s*;|[^&]{1,60}?\sfrom\s+[^\s;&]++\s*(?:;|$|where\b))))")
    # word-led: entered at a blank or punctuation byte before a word (or && ||);
    # calls first
    parts.append(r"[\s\xa0'\"`()+*/|&=!<>,;@.:-](?=[a-z&|])(?:(?=\w++ ?\()(?:" + F + r"\s*\(" + S + r"(?:select\b|@@|" + F + r"\s*\()|convert\s*\(\s*int\b|pg_sleep\s*\(|(?<=[,(])sleep\(\d|benchmark\s*\(\s*[\d\s]++,|(?:n?char|concat\w*+)\s*\(\s*(?:\d+\s*,|0x))"
      r"|" + L + S + r"(?:(?:\d++|" + F + r"\s*\([^&]{0,200}?\))[\s)]*+(?:[=<>!]|" + C + r")|" + Q + r"*+(?<t>\w++)" + Q + r"*+\s*(?:=|like)\s*" + Q + r"*+\k<t>\b)"
      r"|(?:union|except)" + S + r"(?:all|distinct)?" + S + r"select\b|xp_cmdshell|utl_\w++\.|from ?`?information_schema\b|into\s+(?:out|dump)file|exec(?:ute)?\s+\w++\s*$|waitfor\s+(?:delay|time))")
    # symbol-led: every alternative opens with its own byte and checks what
    # stands before it only after that (a leading lookbehind would be tried
    # at every byte the lookahead lets in)
    parts.append(r"(?=[;:{@()'\"`=0])(?:;(?:" + S + X + r"|(?&v)\b(?!\s*=))|\{\s*call\s|@@[a-z]|\(\s*(?:select(?:\b[^&]{1,200}?\bfrom\b| ?(?:\(|$|" + END + r"))|case\s+when\b)|[)`'\"]\s*as\s+[^\s]{1,40}+\s+from\b|=(?<=[\w\]]=)\(\s*$|\)::\w|::(?<=\w::)int\b|'[^'\s]{0,20}+'\s*(?:[!<>]?=|<>|\+|\|\|)\s*'|\)\s*\|\|\s*chr\(|0x(?:[2-7][0-9a-f](?:00)?){5})")
    body = "|".join(parts)
    defs = (r"(?(DEFINE)(?<q>['\"`])(?<s>[\s\xa0(]*+)"
      r"(?<l>(?:and|x?or|not)\b|&&|\|\|)"
      r"(?<c>(?:not\s+)?(?:[ri]?like|regexp|sounds\s+like|between|glob|match|similar\s+to)|is\s+(?:not\s+)?null|div\b|mod\b)"
      r"(?<k>" + S + r"(?:not\s+)?(?:(?:select|case|exists|true|false)\b|[@{]|(?&q)|[\w.$]++(?:\s*\(|[\s)]*+(?:[=<>!~^|&*%#]|--|/\*|" + C + r"))))"
      # statements that need no context: after a closing quote or number, at the start of a value, after ';'
      r"(?<x>(?&v)\s+(?:table|database|user|into|from|\w++\s+set)|(?&y)|shutdown|sleep ?\( ?\d|call\s+[\w.$\"]++\s*\(|procedure\s+analyse|limit\s+\d)"
      r"(?<y>(?:order|group)\s+by\s*(?:\d|\w+\(|\w++ having\b|$)|having\s+\d|(?:declare|set)\s*@|select" + S + r"(?:[*@\d]|null|top|case|pg_sleep|\w++\s*\()|exec(?:ute)?\s*(?:\(?@|master|xp_|sp_|immediate))"
      r"(?<f>ascii|ord|hex|user|version|len\w*+|substr\w*+|mid|left|right|cast|convert|iif|if|elt|sleep|cha?r|\b[a-z]++_\w++)"
      r"(?<v>drop|create|alter|truncate|insert|update|delete|replace|copy)"
      r")")
    pat = ("(?:" + body + ")" + defs).replace('\\"', '"')
    # The subject is folded: a blank is exactly one space, and there is none
    # before '(' or ')' or after '('.
    pat = pat.replace(r"\s*", " ?").replace(r"\s+", " ").replace(r"\s", " ")
    pat = pat.replace(r" ?\(", r"\(").replace(r"\( ?", r"\(").replace(r" ?\)", r"\)")
    return compact(pat)


def compact(pat):
    """The same pattern in fewer bytes: named groups numbered, (?&name) calls
    written (?N), \\k<name> written \\N, and \\xHH escapes of bytes 0x80-0xFF
    written as the bytes themselves (the texts are byte patterns)."""
    numbers = {}
    count = 0
    i = 0
    in_class = False
    while i < len(pat):
        ch = pat[i]
        if ch == "\\":
            i += 2
            continue
        if in_class:
            in_class = ch != "]"
        elif ch == "[":
            in_class = True
            if pat[i + 1:i + 2] == "]" or pat[i + 1:i + 3] == "^]":
                i += 2 if pat[i + 1] == "]" else 3
                continue
        elif ch == "(":
            m = re.match(r"\(\?<([a-z]\w*)>", pat[i:])
            if m:
                count += 1
                numbers[m.group(1)] = count
            elif pat[i + 1:i + 2] != "?" and not pat.startswith("(DEFINE)", i):
                count += 1
        i += 1
    for name, n in numbers.items():
        pat = pat.replace(f"(?<{name}>", "(").replace(f"(?&{name})", f"(?{n})")
        pat = pat.replace(f"\\k<{name}>", f"\\{n}")
    return re.sub(r"\\x([89a-f][0-9a-f])", lambda m: chr(int(m.group(1), 16)), pat)


def main():
    if "--print" in sys.argv:
        sys.stdout.buffer.write(build("--cookie" in sys.argv).encode("latin-1") + b"\n")
        return
    for n, cookie in ((1, False), (2, True)):
        text = build(cookie)
        if len(text) >= 2048:
            raise SystemExit(f"text {n} is {len(text)} bytes; the limit is 2047")
        (ROOT / "filter" / "patterns" / f"text{n}.pcre").write_text(text + "\n", encoding="latin-1")


if __name__ == "__main__":
    main()
