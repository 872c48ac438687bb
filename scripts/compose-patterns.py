#!/usr/bin/env python3
"""Writes filter/patterns/text1.pcre and text2.pcre, the injection texts, from
their grammar below; then run scripts/scramble-patterns.py.

The texts match the subject FoldSubject leaves (blanks and comments folded to
one space, typographic single quotes made quotes, GBK punctuation trail bytes
masked). What makes a value an injection is that it closes the context it
sits in (a quote or a number at the start of a value, or nothing) and goes on
in SQL; prose has SQL words and quotes but no SQL syntax after such a close.
Text 2 (cookies and POST bodies) differs from text 1 only in also ending a
value at ';'.

Every top-level alternative starts with a byte from a small set ('=', '&',
the byte before a word, a few punctuation bytes), so PCRE can skip ahead to
the next such byte; nothing re-scans a run of bytes from each of its
positions, so the cost stays linear in the length of the subject.

Beside each text it writes text<n>.fast.pcre, the form the filter compiles:
the same text with lookaheads that let PCRE give up early on a byte where no
alternative can start. Long values made of nothing but value starts and
quotes (64 KB of "&'" or "=x'a") cost several times less in that form; the
2,048 bytes of a text leave no room for the lookaheads themselves. PCRE tries
the branches of a group one by one at every byte it enters the group, while a
lookahead made of classes alone costs about one test: so the fast form puts
branches that open with the same bytes together behind such a lookahead, and
tests pairs of bytes ("or", "&&") with classes rather than with branches.
A call of a named group costs more still, so the fast form writes each call
out as an atomic group of the group's text.

  --print [--cookie] [--fast]   print one text instead of writing the files
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def build(cookie, fast=False):
    """The text of a place; with fast, the form the filter compiles: the same
    matches, with lookaheads that let PCRE give up on a byte where none of the
    alternatives that follow could start (the text itself has no room)."""
    g = (lambda guard: guard) if fast else (lambda guard: "")
    # A possessive mark the fast form keeps: the text leaves it out where
    # nothing after could take back what the repeat holds (the same matches,
    # a byte less).
    P = g("+")
    # && and || as and/or, only where a word, number or quote follows
    ANDOR = r"(?:&&|\|\|)(?=[\s\xa0(]*+[\w.$@{'\"`])"
    # the same as a test of classes alone, for lookaheads in the fast form
    ANDOR2 = r"[&|][&|][\s\xa0(]*+[\w.$@{'\"`]"
    # && and || where what follows may go on as the operand after a closing
    # quote ((?&k)), or as what a word-led and/or compares: values such as
    # "'&&1'&&1" would otherwise have both tried at every "&&"
    ANDOR_OPERAND = (r"(?:&&|\|\|)(?=[\s\xa0(]*+(?:[@{'\"`]|[\w.$]++(?:\s?\(|[\s)]*+[-=<>!~^|&*%#/bdgilmnrs])"
                     r"|(?:select|case|exists|true|false)\b|not\s))")
    ANDOR_COMPARED = (r"(?:&&|\|\|)(?=[\s\xa0(]*+(?:\d++[\s)]*+[=<>!bdgilmnrs]"
                      r"|[a-z]\w*+\s?\(|['\"`]*+\w++['\"`]*+\s?[=l]))")
    ENDS = "&;" if cookie else "&"  # the bytes that end a value
    END = "[&;]" if cookie else "&"
    # the end of a value: the subject's end or a byte that ends one (the
    # folded subject holds no line break, so '$' is the end alone)
    VALUE_END = "(?![^" + ENDS + "])"
    Q = r"(?&q)"; O = r"(?&o)"; S = r"(?&s)"; C = r"(?&c)"; L = r"(?&l)"; F = r"(?&f)"; K = r"(?&k)"; X = r"(?&x)"
    VS = r"[=&]"
    TOK = r"[^\s'\"`&=(,\x80-\xff]*" + P + Q + Q + "?" + P  # no alternative below opens with a quote
    # the names of calls, grouped by their first letter in the fast form (PCRE
    # tries every branch of a group in turn); written out, atomic as a call of
    # the group is, where a word and '(' are tried at every '('
    NAMES = (r"ascii|unicode|ord|hex|user|version|l(?:en\w*+|eft)|s(?:ubstr\w*+|leep)|mid|right|datalen\w*+"
             r"|c(?:ast|onvert|ha?r)|i(?:if|f)|elt" if fast else
             r"ascii|unicode|ord|hex|user|version|(?:data)?len\w*|substr\w*|mid|left|right|cast|convert|i?if|elt|sleep|cha?r")
    # Any name holding '_' too. The group is atomic, so a name the list knows
    # would end "char_length" or "user_name" at "char" or "user", where no
    # '(' follows: the text tries the names with '_' first, the fast form
    # (where that costs a look at every word) takes a name of the list only
    # where the word ends. (The text repeats without possessive marks where
    # what follows is no word byte, so they take the same and cost a byte
    # less.)
    NAMES = r"(?:" + NAMES + r")\b|[a-z]++_\w++" if fast else r"[a-z]+_\w+|" + NAMES
    # A call's arguments, and a subselect up to its "from", are looked for
    # within a bound. In the fast form that look stops where the same
    # alternative opens again: the attempt made there finds whatever lies
    # further on, nearer. Values made of nothing but such openings ("=ord(",
    # " and ord(x", "(select x") then cost a byte once, not once for every
    # opening within the bound before it ("&&" needs no stop: the look ends
    # at '&' anyway). The closing bracket of a call is tried only at the
    # first of a run of them: the brackets after it are taken with it, so
    # from a later one the rest is the same.
    if fast:
        # a call the fast form keeps: a group repeated up to 200 times is
        # written out 200 times, and the names written out there would make
        # the compiled form larger than PCRE allows
        F_CALL = r"(?P>f)"
        SCAN_VALUE_CALL = r"(?:(?!=[\s(]*+" + F_CALL + r"\s*\()[^&])"
        SCAN_WORD_CALL = (r"(?:(?![\s\xa0'\"`()+*/|=!<>,;@.:-](?:(?:and|x?or|not)\b|\|\|)"
                          + S + F_CALL + r"\s*\()[^&])")
        SCAN_SELECT = r"(?:(?!\(\s*select\b)[^&])"
    else:
        SCAN_VALUE_CALL = SCAN_WORD_CALL = SCAN_SELECT = "[^&]"
    # a comparison word after a number or a call: "is null" is whole, the
    # others need what they compare with (a quote, a call or bracket, a
    # number), so that "3 match series" or "1 mod apk" is prose
    C_DONE = r"(?&d)"
    U = r"(?&u)"
    parts = []
    # After a closing quote: the alternatives that open with a word, behind
    # one lookahead in the fast form.
    WORDS = K + r"|" + X + r"|" + C + O
    OPS = r"[-=<>!~^|&*/%+]+" + P + r"\s*" + g(r"(?=[\w'\"`(@.$])") + r"(?:" + Q + r"[\w(@]|[(@]|[\w.$]+" + P + r"\s*(?:\(|--|#))"
    # a comment that ends the value; the fast form tries "--" only at the
    # first of a run of dashes (from a later one the rest is the same) and
    # does not give back the blanks and dashes after it (no end of a value
    # is among them), so a long run of dashes is read once, not once for
    # every byte the look within 40 bytes starts from
    COMMENT_END = (r"[^'\"`&]{0,40}?(?:" + g(r"(?<!-)") + r"--[\s-]*" + P + r"|(?<![a-z])#)" + VALUE_END)
    if fast:
        # grouped by the byte that opens them; the comment at the end of the
        # value only where a '-' or '#' lies within reach and no quote
        # stands between here and the value's end
        AFTER_CLOSE = (r"(?=[a-z&|][a-z&|])(?=[a-z][a-z]|" + ANDOR_OPERAND + r")(?:collate\b|" + WORDS + r")"
                       r"|(?=[-#(/;,])(?:--(?![a-z])|#\B|\( ?select\b|/\*|;|,\s*null\b)|" + OPS
                       + r"|(?=[^'\"`&#-]{0,40}+[-#][^'\"`" + ENDS + r"]*+(?:$|" + END + r"))" + COMMENT_END)
    else:
        AFTER_CLOSE = r"--(?![a-z])|#\B|\( ?select\b|/\*|;|collate\b|,\s*null\b|" + WORDS + r"|" + OPS + r"|" + COMMENT_END
    # value start: a closing quote or number, or nothing, then SQL. In the
    # fast form these end a close at once (nothing after a close goes on
    # like that, and values such as "'&'&'&", "`=`=`=", "1'=1'=", "'=;'=;",
    # "'&a'&a", "'&&1'&&1", "&&'-&&'-" or "or='or='" are made of little
    # else); a lone '-' opens no comment:
    AFTER_OP = r"(?<=[-/*=<>!~^%+&|])"
    NO_COMMENT_RUN = r"(?:[^'\"`(@\s#&-]|-(?!-))"  # no blank, '(', '@' or comment
    CLOSE_ENDS = [
        # a run of operators with no "--" in it that opens with neither "/*"
        # nor "&&" or "||" before what could be an operand, then: a quote and
        # a byte that is no word, '(' or '@'; a number and a quote; (after at
        # least one operator) a run with no blank, '(', '@' or comment up to
        # a quote or '&' (after an operator a word goes on only into '(', a
        # blank or a comment, and what comes after that word is read by
        # nothing but the look for a comment); a blank and a quote or '&';
        # or a '#' that ends no value and such a run
        r"(?!--|/\*|(?:&&|\|\|)[\s\xa0(@{'\"`\w.$])(?:[/*=<>!~^%+&|]|-(?!-))*+(?:['\"`][^\w(@]|\d[\w.$]*+['\"`]|"
        + AFTER_OP + NO_COMMENT_RUN + r"++['\"`&]|\s(?:['\"`][^\w(@]|&)|"
        + AFTER_OP + r"#(?![&;]|$)" + NO_COMMENT_RUN + r"*+['\"`&])",
        # '(' and a run with no comment in it up to a quote or '&', unless
        # "select" follows
        r"\((?!\s?s)(?:[^-#'\"`&]|-(?!-))*+['\"`&]",
        # "&&" or "||" and a run of words up to a quote that cannot be a word
        # such as "select" or "true" (it opens with a digit, '_', '.' or '$',
        # or has one to three letters)
        r"[&|][&|](?:[\d_.$][\w.$]*+|[a-z]{1,3}+)['\"`]",
        # one to six letters (no word such as "collate" that ends an
        # injection alone) and a byte such as '=' or ')' before a quote or '&'
        r"[a-z]{1,6}+[=<>!,;)&|]['\"`&]",
    ]
    # A word closed by the quote that opens it, a blank and a letter is a
    # quoted word ("like" button, "match" game): read as SQL, the rest of the
    # value would be a string that starts with a blank and a letter, which
    # neither compares true nor ends the statement ('or' 1 and 'or'x'='x are
    # injections).
    QUOTED_WORD = r"(?![a-z]+" + Q + r"\s[a-z])"
    parts.append(VS + r"(?:" + TOK + r"[)\s]*" + P + g(r"(?!" + "|".join(CLOSE_ENDS) + ")") + QUOTED_WORD + r"(?:" + AFTER_CLOSE + r")"
                 r"|" + g(r"(?=[-\d])(?:") + r"-?\d[\d.e]*[)\s]*" + P + g(r"(?=[a-z;+*/-]|[&|][&|])") + r"(?:" + K + r"|" + X + r"|" + C_DONE + r"|" + U + r"|[-+*/]" + S + r"select\b|;\s*(?:$|--|#))|-\d+" + P + r"\s*" + L + r"\s*\d" + g(")")
                 + r"|[-(\s)]*" + P + g(r"(?=[a-z][a-z_]|" + ANDOR2 + r")(?=[aoxnghdsef][aelnorx]|" + ANDOR_OPERAND + r"|\w++\()") + r"(?:" + K + r"|(?&y)|from\s+[\w.`]+" + P + r"\s+(?:limit|where|group)\b|sleep\s*\(\s*\d+\s*\)\s*" + VALUE_END + r"|" + g(r"(?=\w++\()") + F + r"\s*\(" + SCAN_VALUE_CALL + r"{0,60}?\)\s*(?:--(?!>)|#|/\*|!?[=<>]|\|\|)|select" + S + r"(?:[\w.]+" + P + r"\s*;|[^&=]{1,60}?\sfrom\s+[^\s;&]++\s*(?:;|$|where\b)))" + g(r"|\((?<=[\w\]]=\()\s*$") + ")")
    # word-led: entered at a blank or punctuation byte before a word (or && ||);
    # calls first
    CALLS = ((r"(?>" + NAMES + ")" if fast else F) + r"\s*\(" + S + r"(?:select\b|@@|" + F + r"\s*\()|" + g(r"(?=[bcnps])(?:")
             + r"convert\s*\(\s*int|(?:pg_|(?<=[,(]))sleep\(\d"
             r"|benchmark\s*\(\s*[\d\s]+,|(?:n?char|concat\w*)\s*\(\s*(?:\d+,|0x)" + g(")"))
    WORDS_LED = (L + S + g(r"(?=[\w'\"`])") + r"(?:(?:\d+" + P + r"|" + F + r"\s*\(" + SCAN_WORD_CALL + r"{0,200}?" + g(r"(?<!\))") + r"\))[\s)]*" + P + r"(?:[=<>!]|" + C_DONE + r")|" + Q
                 + r"*" + P + r"(?<t>\w++)" + Q + r"*" + P + r"\s*(?:=|like)\s*" + Q + r"*" + P + r"\k<t>\b)|" + g(r"(?=[efiuwx])(?:")
                 + U + r"|xp_cmd|utl_|from ?`?information_schema"
                 r"|into\s+(?:out|dump)file|exec(?:\s+[sx]p|ute\s+\w+" + P + r")\s*$|waitfor\s+[dt][ei]" + g(")"))
    if fast:
        WORD_LED = (r"(?=\w++\()(?=[a-z]++_|if\(|[abcdehilmnoprsuv][acefhilnorsu][a-z])(?:" + CALLS + r")"
                    r"|(?=[aoxnuefiw][anoprtx]|" + ANDOR_COMPARED + r")(?:" + WORDS_LED + r")")
    else:
        # every call opens with a name and '(' (the fast form looks for them
        # first; the text has no room for the look)
        WORD_LED = CALLS + r"|" + WORDS_LED
    parts.append(r"[\s\xa0'\"`()+*/|&=!<>,;@.:-]" + g(r"(?=[a-z][a-z_]|" + ANDOR2 + r")") + r"(?:" + WORD_LED + r")")
    # symbol-led: every alternative opens with its own byte and checks what
    # stands before it only after that (a leading lookbehind would be tried
    # at every byte the lookahead lets in)
    SEMI = r";" + g(r"(?=[\s\xa0(]*+[a-z])") + r"(?:" + S + X + r"|(?&v)\b(?!\s*=))"
    OPEN = r"\(\s*(?:select(?:\b" + SCAN_SELECT + r"{1,200}?\bfrom\b| ?(?:" + F + r"?\(|$|" + END + r"))|case\s+when\b)"
    AS = r"\s*as\s+\S{1,40}" + P + r"\s+from\b"
    # a quoted string compared with the next; after the opening quote
    QCMP_REST = r"[^'\s]{0,20}" + P + r"'" + g(r"(?=\s*[!<>=+|][=>|]?\s*')") + r"\s*(?:[!<>]?=|<>|\+|\|\|)\s*'"
    HEX = r"0x(?:[2-7][\da-f](?:00)?){5}"
    if fast:
        # grouped by the byte that opens them; "=(" at the end of a value is
        # tried with the other value starts, so that '=' does not enter here
        parts.append(r"(?=[;:{@()'\"`0])(?:(?=[;{@0:])(?:" + SEMI + r"|\{\s*call\s|@@[a-z]|" + HEX + r"|::(?<=\w::)int\b)"
                     r"|(?=[()])(?:" + OPEN + r"|\)(?:::\w|" + AS + r"))"
                     r"|[`\"]" + AS + r"|'(?:" + AS + r"|" + QCMP_REST + r"))")
    else:
        parts.append(SEMI + r"|\{\s*call\s|@@[a-z]|" + OPEN + r"|[)`'\"]" + AS + r"|=(?<=[\w\]]=)\(\s*$|\)::\w|::(?<=\w::)int\b|'" + QCMP_REST + r"|" + HEX)
    body = "|".join(parts)
    defs = (r"(?(DEFINE)(?<q>['\"`])(?<s>[\s\xa0(]*" + P + r")(?<o>\s*(?:binary\s)?(?:(?&q)|\w*\(|\d))"
      r"(?<l>" + (r"(?=[anox&|])(?:(?:and|x?or|not)\b|" + ANDOR + r")" if fast else r"(?:and|x?or|not)\b|&&|\|\|") + r")"
      # a comparison word and what it compares with ("is null" is whole)
      r"(?<d>" + C + r"(?:(?<=l)|" + O + r"))"
      r"(?<c>" + g(r"(?=[bdgilmnrs])") + r"(?:not\s+)?(?:[ri]?like|regexp|sounds\s+like|between|glob|match|similar\s+to)|is\s+(?:not\s+)?null|div\b|mod\b)"
      # and/or and its operand, one group (the text has no room for two calls)
      r"(?<k>(?&l)" + S + g(r"(?=[\w.$@{'\"`])") + r"(?:not\s+)?(?:(?:select|case|exists|true|false)\b|[@{]|(?&q)|[\w.$]++(?:\s*\(|[\s)]*" + P + r"(?:[=<>!~^|&*%#]|--|/\*|" + C + r"))))"
      # statements that need no context: after a closing quote or number, at the start of a value, after ';'
      # (the fast form looks for three letters first: every word here has them, and
      # "or" after a close then fails at once)
      r"(?<x>" + g(r"(?=[abcdeghiloprstu][aehilnoprx][a-z])(?:") + r"(?&v)\s+(?:table|database|user|into|from|\w+" + P + r"\s+set)|(?&y)|shutdown|sleep ?\( ?\d|call\s+[\w.$\"]+" + P + r"\s*\(|procedure\s+analyse|limit\s+\d" + g(")") + r")"
      # a union of selects; also straight after a number at a value's start,
      # as SQL Server reads "1union" as a number and a word
      r"(?<u>(?:union|except)" + S + r"(?:all|distinct\w*)?" + S + r"select\b)"
      r"(?<y>" + g(r"(?=[deghos][aerx][a-z][a-z\s@])(?:") + r"(?:order|group)\s+by\s*(?:\d|\w+\(|\w+" + P + r" having\b|$)|having\s+\d|(?:declare|set)\s*@|select" + S + r"(?:[*@\d]|null|top|(?<=\()case|case\s+when|pg_\w|\w+" + P + r"\s*\((?!\*))|exec(?:ute)?\s*(?:\(?@|master|[sx]p_|immediate)" + g(")") + r")"
      r"(?<f>" + g(r"(?=[a-z]++_|if\(|[acdehilmorsuv][aefhilnorsu][a-z])(?:") + NAMES + g(")") + r")"
      r"(?<v>" + g(r"(?=[abcdirtu][aelnopr])(?:") + r"drop|create|alter|truncate|insert|update|delete|replace|copy|backup" + g(")") + r")"
      r")")
    pat = ("(?:" + body + ")" + defs).replace('\\"', '"')
    if fast:
        # A call of a group costs more than a class, and more than an atomic
        # group: the quote and blank groups are written out where they are
        # used, and every other group as an atomic group of its text (a call
        # is atomic in PCRE 8).
        pat = pat.replace(Q, "['\"`]").replace(S, r"[\s\xa0(]*+")
        pat = inline_calls(pat, "olcdkxyfvu")
    # The subject is folded: a blank is exactly one space, and there is none
    # before '(' or ')' or after '('.
    pat = pat.replace(r"\s*", " ?").replace(r"\s+", " ").replace(r"\s", " ")
    pat = pat.replace(r" ?\(", r"\(").replace(r"\( ?", r"\(").replace(r" ?\)", r"\)")
    return compact(pat)


def structure(pat, start=0):
    """(index, byte) of every byte of pat from start that is neither escaped
    nor in a class: the bytes that open and close groups."""
    i = start
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
        else:
            yield i, ch
        i += 1


def group_end(pat, start):
    """The index just past the group that opens at pat[start]."""
    depth = 0
    for i, ch in structure(pat, start):
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
            if depth == 0:
                return i + 1
    raise ValueError("unbalanced group at %d" % start)


def inline_calls(pat, names):
    """Every (?&name) of the named groups written out as (?>text of the group),
    also inside other groups; the groups themselves stay defined."""
    bodies = {}
    for name in names:
        start = pat.index("(?<" + name + ">")
        bodies[name] = pat[start + len(name) + 4:group_end(pat, start) - 1]
    def expand(text):
        while "(?&" in text:
            for name, body in bodies.items():
                text = text.replace("(?&" + name + ")", "(?>" + body + ")")
        return text
    head, sep, defs = pat.partition("(?(DEFINE)")
    return expand(head) + sep + defs


def compact(pat):
    """The same pattern in fewer bytes: named groups numbered, (?&name) calls
    written (?N), \\k<name> written \\N, and \\xHH escapes of bytes 0x80-0xFF
    written as the bytes themselves (the texts are byte patterns)."""
    numbers = {}
    count = 0
    for i, ch in structure(pat):
        if ch == "(":
            m = re.match(r"\(\?<([a-z]\w*)>", pat[i:])
            if m:
                count += 1
                numbers[m.group(1)] = count
            elif pat[i + 1:i + 2] != "?" and not pat.startswith("(DEFINE)", i):
                count += 1
    for name, n in numbers.items():
        pat = pat.replace(f"(?<{name}>", "(").replace(f"(?&{name})", f"(?{n})").replace(f"(?P>{name})", f"(?{n})")
        pat = pat.replace(f"\\k<{name}>", f"\\{n}")
    return re.sub(r"\\x([89a-f][0-9a-f])", lambda m: chr(int(m.group(1), 16)), pat)


def main():
    if "--print" in sys.argv:
        text = build("--cookie" in sys.argv, fast="--fast" in sys.argv)
        sys.stdout.buffer.write(text.encode("latin-1") + b"\n")
        return
    for n, cookie in ((1, False), (2, True)):
        text = build(cookie)
        if len(text) >= 2048:
            raise SystemExit(f"text {n} is {len(text)} bytes; the limit is 2047")
        (ROOT / "filter" / "patterns" / f"text{n}.pcre").write_text(text + "\n", encoding="latin-1")
        fast = build(cookie, fast=True)
        (ROOT / "filter" / "patterns" / f"text{n}.fast.pcre").write_text(fast + "\n", encoding="latin-1")


if __name__ == "__main__":
    main()
