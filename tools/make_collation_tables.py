#!/usr/bin/env python3
"""Builds jet/src/index/collation_tables.cpp from our index-key test vectors.

The engine writes text index keys in the two "General" sort orders. The
per-unit codes it needs (class, primary bytes, accent bytes, punctuation or
kana flag) are not taken from any other program's tables: this script reads
them back out of the vectors in fixtures/index-keys/ and writes only units
that some vector shows.

    python3 tools/make_collation_tables.py [--vectors DIR] [--output FILE]

DIR defaults to ../shared/fixtures/index-keys next to the repository, FILE to
jet/src/index/collation_tables.cpp. Python 3.8 or later, standard library only.

How a code is found
-------------------
1. Lines 1-847 of each text file hold one unit each (U+0001-U+024F and
   U+2000-U+20FF). The shape of the key gives the code directly:
     7f 01 00                      ignored
     7f P.. 01 00                  plain, primary bytes P
     7f P.. 01 A.. 00              accented, accent bytes A
     7f 01 M 00                    modifier (combining mark), value M
     7f 01 01 01 01 80 07 06 C 00  punctuation, code C
   U+0020 alone is a trailing space and is dropped; its primary bytes are the
   ones between "a" and "b" in the key of "a b".
2. Every other BMP unit occurs only inside longer strings. When a string has
   a single unknown unit, every code that could explain its key is tried
   (primary bytes by difference, accent, modifier, punctuation and kana
   forms); the codes that give the key of every such string are kept and the
   simplest is taken.
3. Units that only occur next to other unknown units are solved string by
   string with a small search over the same forms. Where the key leaves
   several readings open, a cost picks the most regular one: a unit's primary
   length like that of its nearest known neighbour in the same 128-unit block
   (else an even share of the string's unknown primary bytes), combining
   marks without primary bytes, kana letters with the kana class and flag 3,
   one-byte accents before two-byte ones.
4. The result must reproduce every text vector: both ascending files, the
   descending file and the text column of the two-column file. The script
   stops with an error otherwise and writes nothing.

Surrogate units are computed by the engine and are never tabulated.

Output format
-------------
One hexadecimal string per order, a list of runs as collation.cpp decodes
them: u16 first unit and u16 count (little-endian), u8 class, u8 step,
u8 primary length, primary bytes, u8 accent length, accent bytes, u8 aux.
Classes: 0 ignored, 1 plain, 2 accented, 3 punctuation, 4 modifier, 5 kana.
Unit first+i has the primary bytes of the run read as one big-endian number
plus i*step (punctuation and modifiers: aux plus i*step).
"""

import argparse
import os
import sys
import unicodedata

IGNORED, PLAIN, ACCENTED, PUNCTUATION, MODIFIER, KANA, SURROGATE = range(7)
CLASS_NAMES = ["ignored", "plain", "accented", "punctuation", "modifier", "kana"]

ORDERS = [
    # (C++ name, file, name in messages)
    ("kGeneralLegacyRuns", "text-general-legacy.tsv", "General - Legacy"),
    ("kGeneral2010Runs", "text-general-2010.tsv", "General (2010)"),
]
SINGLE_LINES = 847


# ---------------------------------------------------------------------------
# Reading the vectors


def json_units(literal):
    """UTF-16 units of a JSON string literal written in ASCII."""
    if len(literal) < 2 or literal[0] != '"' or literal[-1] != '"':
        raise ValueError("not a JSON string: " + literal)
    escapes = {"n": 10, "t": 9, "r": 13, "b": 8, "f": 12}
    out = []
    i = 1
    while i < len(literal) - 1:
        c = literal[i]
        if c != "\\":
            out.append(ord(c))
            i += 1
        elif literal[i + 1] == "u":
            out.append(int(literal[i + 2:i + 6], 16))
            i += 6
        else:
            e = literal[i + 1]
            out.append(escapes.get(e, ord(e)))
            i += 2
    return tuple(out)


def read_tsv(path):
    with open(path, encoding="ascii") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def read_text_vectors(path):
    return [(json_units(s), bytes.fromhex(k)) for s, k in read_tsv(path)]


# ---------------------------------------------------------------------------
# The key encoder (the same rules as collation.cpp)


def is_surrogate(u):
    return 0xD800 <= u <= 0xDFFF


def surrogate_code(u):
    if u < 0xDC00:
        value = u - 10238
    else:
        r = (u - 0xDC00) % 1024
        value = u - (9992 if r < 8 else 9990 if r < 262 else 9988 if r < 516 else 9986 if r < 770 else 9984)
    return (SURROGATE, bytes([value >> 8 & 255, value & 255]), b"\x3f", 0)


def code_of(table, u):
    return surrogate_code(u) if is_surrogate(u) else table.get(u)


class KeyState:
    """What the encoder has built after some units of a text."""

    __slots__ = ("primary_length", "accents", "described", "started", "bare_first", "punctuation", "flags",
                 "saw_kana", "units_with_primary")

    def __init__(self):
        self.primary_length = 0
        self.accents = bytearray()
        self.described = 0
        self.started = False
        self.bare_first = False
        self.punctuation = bytearray()
        self.flags = []
        self.saw_kana = False
        self.units_with_primary = 0

    def copy(self):
        c = KeyState.__new__(KeyState)
        c.primary_length = self.primary_length
        c.accents = bytearray(self.accents)
        c.described = self.described
        c.started = self.started
        c.bare_first = self.bare_first
        c.punctuation = bytearray(self.punctuation)
        c.flags = list(self.flags)
        c.saw_kana = self.saw_kana
        c.units_with_primary = self.units_with_primary
        return c

    def add(self, code):
        cls, primary, accent, aux = code
        before = self.units_with_primary
        if primary:
            self.primary_length += len(primary)
            self.units_with_primary += 1
        if cls in (ACCENTED, SURROGATE, KANA):
            if accent:
                self.accents += b"\x02" * max(0, before - self.described)
                self.accents += accent
                self.described = before + 1
                self.started = True
            if cls == KANA:
                self.flags.append(aux)
                self.saw_kana = True
        elif cls == MODIFIER and aux:
            if self.described < before:
                self.accents += b"\x02" * (before - self.described)
                self.described = before
            if self.accents:
                self.accents[-1] = (self.accents[-1] + aux) & 255
            else:
                self.accents.append(aux)
                self.bare_first = True
            self.started = True
        elif cls == PUNCTUATION:
            position = before
            if self.started:
                position = len(self.accents) + (before - self.described) - (1 if self.bare_first else 0)
            offset = 0x8000 | ((7 + 4 * position) & 0xFFFF)
            self.punctuation += bytes([offset >> 8, offset & 255, 6, aux])


def indexed_units(units):
    units = units[:255]
    while units and units[-1] == 0x20:
        units = units[:-1]
    return units


def encode(table, units, ascending=True):
    """Key of a text, or None when a unit has no code."""
    units = indexed_units(units)
    body = bytearray()
    state = KeyState()
    for u in units:
        code = code_of(table, u)
        if code is None:
            return None
        body += code[1]
        state.add(code)
    body.append(1)
    accents = bytearray(state.accents)
    while accents and accents[-1] <= 2:
        accents.pop()
    body += accents
    if state.saw_kana or state.punctuation:
        body += b"\x01\x01"
        if state.saw_kana:
            flags = list(state.flags)
            while flags and flags[-1] == 3:
                flags.pop()
            for i in range(0, len(flags), 3):
                b = 0x80
                for j, f in enumerate(flags[i:i + 3]):
                    b |= f << (2 * (2 - j))
                body.append(b)
            body += b"\xff\x02\x80\xff\x80"
            if state.punctuation:
                body.append(0xFF)
        if state.punctuation:
            body.append(1)
            body += state.punctuation
    if ascending:
        return b"\x7f" + bytes(body) + b"\x00"
    return b"\x80" + bytes(255 - b for b in body) + b"\xff\x00"


# ---------------------------------------------------------------------------
# Step 1: the one-unit lines


def code_from_single_key(key):
    if key[0] != 0x7F or key[-1] != 0:
        raise ValueError("unexpected key " + key.hex())
    body = key[1:-1]
    if body == b"\x01":
        return (IGNORED, b"", b"", 0)
    if len(body) == 8 and body[:6] == b"\x01\x01\x01\x01\x80\x07" and body[6] == 6:
        return (PUNCTUATION, b"", b"", body[7])
    end = body.index(1)
    primary, accent = bytes(body[:end]), bytes(body[end + 1:])
    if 1 in accent:
        raise ValueError("unexpected key " + key.hex())
    if not primary:
        if len(accent) != 1:
            raise ValueError("unexpected key " + key.hex())
        return (MODIFIER, b"", b"", accent[0])
    return (ACCENTED if accent else PLAIN, primary, accent, 0)


def single_unit_codes(vectors):
    table = {}
    for units, key in vectors[:SINGLE_LINES]:
        if len(units) != 1:
            raise ValueError("line %d is not a single unit" % (len(table) + 1))
        table[units[0]] = code_from_single_key(key)
    for units, key in vectors:
        if units == (0x61, 0x20, 0x62):  # "a b": the space's primary bytes
            a, b = table[0x61][1], table[0x62][1]
            primary = key[1:key.index(1)]
            if not (primary.startswith(a) and primary.endswith(b)):
                raise ValueError('unexpected key for "a b"')
            table[0x20] = (PLAIN, bytes(primary[len(a):len(primary) - len(b)]), b"", 0)
            break
    else:
        raise ValueError('no "a b" line: the space cannot be read')
    return table


# ---------------------------------------------------------------------------
# Step 2: strings with one unknown unit


def possible_codes(table, unit, units, key):
    """Every code of `unit` that could explain this key (a superset)."""
    out = {(IGNORED, b"", b"", 0)}
    out.update((MODIFIER, b"", b"", v) for v in range(1, 256))
    out.update((PUNCTUATION, b"", b"", v) for v in set(key))
    occurrences = units.count(unit)
    first = units.index(unit)
    known = sum(len(code_of(table, x)[1]) for x in units if x != unit)
    before = sum(len(code_of(table, x)[1]) for x in units[:first])
    pieces = {b""}
    for i in range(len(key)):
        for n in (1, 2, 3):
            if i + n <= len(key):
                pieces.add(bytes(key[i:i + n]))
    for end in range(1, len(key)):
        if key[end] != 1:
            continue
        unknown_bytes = end - 1 - known
        if unknown_bytes <= 0 or unknown_bytes % occurrences:
            continue
        length = unknown_bytes // occurrences
        primary = bytes(key[1 + before:1 + before + length])
        out.add((PLAIN, primary, b"", 0))
        for accent in pieces:
            if accent:
                out.add((ACCENTED, primary, accent, 0))
            for flag in range(4):
                out.add((KANA, primary, accent, flag))
    return out


def meaning(code):
    """A code read without trailing accent bytes 00-02: such bytes mean "no
    accent" or fall off the key's end, and no vector tells them apart."""
    cls, primary, accent, aux = code
    accent = accent.rstrip(b"\x00\x01\x02")
    if cls == ACCENTED and not accent:
        return (PLAIN, primary, b"", aux)
    return (cls, primary, accent, aux)


def simplicity(code):
    cls, primary, accent, aux = code
    return (cls not in (IGNORED, PLAIN), cls, len(accent), aux, primary, accent)


def solve_lone_unknowns(table, vectors, unknown, notes):
    """Fixes units that are the only unknown of some string; repeats until stable."""
    progress = True
    while progress:
        progress = False
        strings = {}
        for units, key in vectors:
            missing = {u for u in units if u in unknown and u not in table}
            if len(missing) == 1:
                strings.setdefault(missing.pop(), []).append((units, key))
        for unit in sorted(strings):
            found = sorted(strings[unit], key=lambda v: len(v[0]))
            candidates = possible_codes(table, unit, *found[0])
            fitting = []
            for code in candidates:
                table[unit] = code
                if all(encode(table, units) == key for units, key in found):
                    fitting.append(code)
                del table[unit]
            if not fitting:
                continue  # left to the search
            fitting.sort(key=simplicity)
            table[unit] = fitting[0]
            if len({meaning(f) for f in fitting}) > 1:
                notes.append("U+%04X: %d readings fit, took %s" % (unit, len(fitting), describe(fitting[0])))
            progress = True


# ---------------------------------------------------------------------------
# Step 3: strings with several unknown units


def key_sections(key):
    """Primary bytes, accent bytes and punctuation groups of an ascending key."""
    body = key[1:-1]
    end = body.index(1)
    primary, rest = bytes(body[:end]), bytes(body[end + 1:])
    split = rest.find(b"\x01\x01")
    if split < 0:
        return primary, rest, b""
    accents, tail = rest[:split], rest[split + 2:]
    if tail[:1] == b"\x01":
        return primary, accents, tail[1:]
    marker = tail.find(b"\xff\x02\x80\xff\x80")
    after = tail[marker + 5:] if marker >= 0 else b""
    return primary, accents, after[2:] if after[:2] == b"\xff\x01" else b""


def is_mark(u):
    return unicodedata.category(chr(u)) in ("Mn", "Me", "Cf")


def is_kana(u):
    name = unicodedata.name(chr(u), "")
    return "HIRAGANA" in name or "KATAKANA" in name


def neighbour_length(unit, *tables):
    """Primary length of the nearest known unit in the same 128-unit block."""
    best = None
    for table in tables:
        for u, code in table.items():
            if u >> 7 == unit >> 7 and u != unit and (best is None or abs(u - unit) < best[0]):
                best = (abs(u - unit), len(code[1]))
    return None if best is None else best[1]


def code_cost(unit, code, share, table, local):
    cls, primary, accent, aux = code
    cost = 0
    expected = neighbour_length(unit, table, local)
    if expected is not None:
        cost += 4 if len(primary) != expected else 0
    elif is_mark(unit):
        cost += 2 if primary else 0
    else:
        cost += 3 if not primary else (4 if share is not None and len(primary) != share else 0)
    if cls == ACCENTED:
        cost += 1 if len(accent) == 1 else 4
    elif cls == MODIFIER:
        cost += 0 if is_mark(unit) else 2
    elif cls == PUNCTUATION:
        cost += 2
    if cls == KANA:
        cost += (0 if is_kana(unit) else 5) + (0 if aux == 3 else 1)
        cost += 0 if not accent else 1 if len(accent) == 1 else 4
    elif is_kana(unit) and primary:
        cost += 2
    return cost


def accent_byte(accents, i):
    return accents[i] if i < len(accents) else 2


def prefix_fits(state, accents, punctuation):
    built = state.accents
    for i in range(len(built) - 1):  # the last byte may still change
        if i < len(accents):
            if built[i] != accents[i]:
                return False
        elif built[i] > 2:
            return False
    return punctuation.startswith(bytes(state.punctuation))


def codes_here(unit, state, primary, accents, punctuation):
    room = len(primary) - state.primary_length
    out = []
    for length in list(range(1, min(room, 8) + 1)) + [0]:
        if length == 0:
            out.append((IGNORED, b"", b"", 0))
            q = len(state.accents) + (state.units_with_primary - state.described)
            if q > 0:
                last = state.accents[q - 1] if q - 1 < len(state.accents) else 2
                value = (accent_byte(accents, q - 1) - last) & 255
                if value:
                    out.append((MODIFIER, b"", b"", value))
            elif accents:
                out.append((MODIFIER, b"", b"", accents[0]))
            g = len(state.punctuation)
            if g + 4 <= len(punctuation):
                out.append((PUNCTUATION, b"", b"", punctuation[g + 3]))
            continue
        p = bytes(primary[state.primary_length:state.primary_length + length])
        q = len(state.accents) + (state.units_with_primary - state.described)
        choices = [b""]
        if accent_byte(accents, q) != 2:
            choices.append(bytes([accent_byte(accents, q)]))
        if q + 1 < len(accents):
            choices.append(bytes([accent_byte(accents, q), accent_byte(accents, q + 1)]))
        out.append((PLAIN, p, b"", 0))
        out.extend((ACCENTED, p, a, 0) for a in choices if a)
        out.extend((KANA, p, a, f) for a in choices for f in (3, 2, 1, 0))
    return out


def readings(table, units, key, max_cost=60):
    """Codes for the unknown units of one string, cheapest readings first."""
    primary, accents, punctuation = key_sections(key)
    known = sum(len(code_of(table, u)[1]) for u in units if code_of(table, u))
    plain_unknowns = [u for u in units if not code_of(table, u) and not is_mark(u)]
    spare = len(primary) - known
    share = spare // len(plain_unknowns) if plain_unknowns and spare % len(plain_unknowns) == 0 else None

    def search(i, state, local, budget, spent):
        if i == len(units):
            merged = dict(table)
            merged.update(local)
            if encode(merged, units) == key:
                yield spent, dict(local)
            return
        unit = units[i]
        code = code_of(table, unit) or local.get(unit)
        if code:
            if primary[state.primary_length:state.primary_length + len(code[1])] != code[1]:
                return
            nxt = state.copy()
            nxt.add(code)
            if prefix_fits(nxt, accents, punctuation):
                yield from search(i + 1, nxt, local, budget, spent)
            return
        for code in codes_here(unit, state, primary, accents, punctuation):
            cost = spent + code_cost(unit, code, share, table, local)
            if cost > budget:
                continue
            nxt = state.copy()
            nxt.add(code)
            if not prefix_fits(nxt, accents, punctuation):
                continue
            local[unit] = code
            yield from search(i + 1, nxt, local, budget, cost)
            del local[unit]

    for budget in range(max_cost + 1):
        found = [local for spent, local in search(0, KeyState(), {}, budget, 0) if spent == budget]
        if found:
            yield budget, found


def solve_jointly(table, strings, notes):
    strings = sorted(strings, key=lambda v: (len({u for u in v[0] if not code_of(table, u)}), len(v[0])))

    def solve_from(j):
        if j == len(strings):
            return True
        units, key = strings[j]
        if all(code_of(table, u) for u in units):
            return encode(table, units) == key and solve_from(j + 1)
        for cost, found in readings(table, units, key):
            if len(found) > 1:
                names = " ".join("U+%04X" % u for u in sorted(found[0]))
                notes.append("%s: %d equally simple readings, took the first" % (names, len(found)))
            for local in found:
                table.update(local)
                if solve_from(j + 1):
                    return True
                for u in local:
                    del table[u]
        return False

    return solve_from(0)


def describe(code):
    cls, primary, accent, aux = code
    text = CLASS_NAMES[cls]
    if primary:
        text += " " + primary.hex()
    if accent:
        text += " accent " + accent.hex()
    if cls in (PUNCTUATION, MODIFIER, KANA):
        text += " %s %d" % ("flag" if cls == KANA else "code", aux)
    return text


def derive_table(vectors, name):
    notes = []
    table = single_unit_codes(vectors)
    unknown = {u for units, _ in vectors for u in units if u not in table and not is_surrogate(u)}
    solve_lone_unknowns(table, vectors, unknown, notes)
    searched = sum(1 for u in unknown if u not in table)
    rest = [v for v in vectors if any(u in unknown and u not in table for u in v[0])]
    if rest and not solve_jointly(table, rest, notes):
        raise SystemExit("%s: no codes explain every string" % name)
    for units, key in vectors:
        if encode(table, units) != key:
            raise SystemExit("%s: the codes do not give the key of %r" % (name, units))
    return table, notes, len(unknown), searched


# ---------------------------------------------------------------------------
# Checks on the other text files


def long_key(value, ascending):
    b = ((value & 0xFFFFFFFF) ^ 0x80000000).to_bytes(4, "big")
    return b"\x7f" + b if ascending else b"\x80" + bytes(255 - x for x in b)


def check_other_files(folder, legacy):
    checked = 0
    for literal, key in read_tsv(os.path.join(folder, "text-general-legacy-desc.tsv")):
        if encode(legacy, json_units(literal), ascending=False) != bytes.fromhex(key):
            raise SystemExit("descending key differs for " + literal)
        checked += 1
    for literal, number, directions, key in read_tsv(os.path.join(folder, "multi-column.tsv")):
        text_dir, long_dir = (d == "asc" for d in directions.split(","))
        want = b"\x00" if text_dir else b"\xff"
        if literal != "NULL":
            want = encode(legacy, json_units(literal), ascending=text_dir)
        if number == "NULL":
            want += b"\x00" if long_dir else b"\xff"
        else:
            want += long_key(int(number), long_dir)
        if want != bytes.fromhex(key):
            raise SystemExit("two-column key differs for " + literal)
        checked += 1
    return checked


# ---------------------------------------------------------------------------
# Output


def runs(table):
    """Groups consecutive units into runs; yields the bytes of each run."""
    units = sorted(table)
    i = 0
    while i < len(units):
        first = units[i]
        cls, primary, accent, aux = table[first]
        growing = cls in (PUNCTUATION, MODIFIER)

        def offset(code):  # the number that grows along a run
            return code[3] if growing else int.from_bytes(code[1], "big")

        count, step = 1, None
        while i + count < len(units) and count < 0xFFFF:
            u = units[i + count]
            code = table[u]
            if u != first + count or code[0] != cls or len(code[1]) != len(primary) or code[2] != accent:
                break
            if not growing and code[3] != aux:
                break
            delta = offset(code) - offset(table[first])
            if step is None:
                if not 0 <= delta <= 255:
                    break
                step = delta
            if delta != count * step:
                break
            count += 1
        out = bytearray()
        out += first.to_bytes(2, "little") + count.to_bytes(2, "little")
        out += bytes([cls, step or 0, len(primary)]) + primary + bytes([len(accent)]) + accent + bytes([aux])
        yield bytes(out)
        i += count


def cpp_string(data, width=120):
    text = data.hex()
    return "\n".join('    "%s"' % text[i:i + width] for i in range(0, len(text), width))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--vectors", default=os.path.join(root, "..", "shared", "fixtures", "index-keys"))
    parser.add_argument("--output", default=os.path.join(root, "jet", "src", "index", "collation_tables.cpp"))
    args = parser.parse_args()

    tables = []
    summary = []
    for cname, file, title in ORDERS:
        vectors = read_text_vectors(os.path.join(args.vectors, file))
        table, notes, inner, searched = derive_table(vectors, title)
        tables.append((cname, table))
        for note in notes:
            print("%s: %s" % (title, note), file=sys.stderr)
        tabulated = len(table)
        summary.append("//   %-17s %4d units: %d from one-unit lines, %d from longer strings" %
                       (title + ":", tabulated, tabulated - inner, inner))
        summary.append("//   %-17s (%d of these by difference, %d by the search)" %
                       ("", inner - searched, searched))
        print("%s: %d units, every one of %d vectors reproduced" % (title, tabulated, len(vectors)), file=sys.stderr)
    other = check_other_files(args.vectors, tables[0][1])
    print("descending and two-column files: %d vectors reproduced" % other, file=sys.stderr)

    lines = [
        "// Generated by tools/make_collation_tables.py: do not edit by hand.",
        "//",
        "// Character codes of the two \"General\" text sort orders, read back out of",
        "// our own index-key test vectors (fixtures/index-keys/, the text files).",
        "// Only units that some vector shows are listed; for any other unit",
        "// lookupChar() fails, so canEncodeText() is false and no key is written.",
        "// Surrogate units are computed in collation.cpp and are not listed.",
        "//",
    ] + summary + [
        "//",
        "// Units that only occur next to other unknown units are found by a search;",
        "// where a key allows several readings, the script takes the most regular",
        "// one (its comments give the rules). The codes reproduce every line of",
        "// both ascending text files, of the descending file and the text column",
        "// of the two-column file. To regenerate after a change to the vectors or",
        "// to the script:",
        "//   python3 tools/make_collation_tables.py --vectors <fixtures>/index-keys",
        "// The run format is described in collation.cpp and in the script.",
        "",
        "namespace jet::detail {",
        "",
    ]
    for cname, table in tables:
        data = b"".join(runs(table))
        lines.append("extern const char %s[] =" % cname)
        lines.append(cpp_string(data) + ";")
        lines.append("extern const unsigned long %sSize = %d;" % (cname, len(data)))
        lines.append("")
    lines.append("} // namespace jet::detail")
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote " + args.output, file=sys.stderr)


if __name__ == "__main__":
    main()
