#!/usr/bin/env python3
"""Writes the hostile manifest corpus into tests/hostile/manifests/.

The files are committed; this script is how they were made, so a byte in
any of them can be traced to a line here. Run it again only to change the
corpus, and update the expectations in hostile_manifest_test.cpp with it.
The 100,000-entry manifest is not here: the test builds it in memory.
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "manifests")


def crlf(*lines):
    return b"".join(line + b"\r\n" for line in lines)


def lf(*lines):
    return b"".join(line + b"\n" for line in lines)


def records(pairs):
    out = []
    for name, caption in pairs:
        out += [name, caption]
    return out


corpus = {}

corpus["traversal-backslash.txt"] = crlf(b"Tools", *records([
    (b"..\\evil.exe", b"Up one"),
    (b"..\\..\\..\\Windows\\System32\\evil.dll", b"Up three"),
    (b"tools\\..\\..\\evil.exe", b"In and out"),
    (b"ok.exe", b"Fine"),
]))

corpus["traversal-slash.txt"] = lf(b"Tools", *records([
    (b"../evil.exe", b"Up one"),
    (b"../../../../../../../../etc/cron.d/evil", b"Deep"),
    (b"tools/../../evil", b"In and out"),
    (b"./../evil", b"Dot first"),
    (b"ok.exe", b"Fine"),
]))

corpus["traversal-mixed.txt"] = crlf(b"Mixed", *records([
    (b"..\\../evil.exe", b"A"),
    (b"../..\\evil.exe", b"B"),
    (b"tools/..\\..\\evil.exe", b"C"),
    (b"tools\\../inside.exe", b"Stays inside but climbs"),
]))

corpus["traversal-deep.txt"] = crlf(b"Deep", *records([
    (b"..\\" * 300 + b"Windows\\evil.exe", b"Backslashes"),
    (b"a\\b\\c\\d\\e\\f\\g\\h\\" + b"..\\" * 9 + b"evil.exe", b"Down then further up"),
    (b"../" * 300 + b"etc/evil", b"Slashes"),
]))

corpus["trailing-dots-spaces.txt"] = crlf(b"Trailing", *records([
    (b"...\\evil.exe", b"Three dots"),
    (b".. \\evil.exe", b"Dots and a space"),
    (b". .\\evil.exe", b"Dot space dot"),
    (b"evil.exe.", b"Trailing dot"),
    (b"evil.exe. . .", b"Dots and spaces"),
    (b"tools.\\evil.exe", b"Folder with a dot"),
    (b"tools \\evil.exe", b"Folder with a space"),
    (b"tools\\ ..\\evil.exe", b"Space before the dots"),
    (b"..\xa0", b"No-break space after the dots: an ordinary name"),
    (b"spaced.exe   ", b"Trailing blanks of the line are trimmed"),
    (b"fine.exe", b"Fine"),
]))

corpus["absolute-posix.txt"] = lf(b"Absolute", *records([
    (b"/etc/passwd", b"A"),
    (b"/tmp/kestrune-evil", b"B"),
    (b"//etc/evil", b"C"),
    (b"/", b"D"),
    (b"~/evil", b"Tilde is not expanded"),
]))

corpus["absolute-windows.txt"] = crlf(b"Absolute", *records([
    (b"\\Windows\\evil.exe", b"Root of the drive"),
    (b"C:\\Windows\\evil.exe", b"Drive and root"),
    (b"c:/evil.exe", b"Drive and slash"),
    (b"C:", b"Drive alone"),
    (b"\\\\evil.exe", b"Two backslashes"),
]))

corpus["drive-relative.txt"] = crlf(b"Drive", *records([
    (b"C:evil.exe", b"A"),
    (b"D:..\\evil.exe", b"B"),
    (b"z:x", b"C"),
    (b"C:.", b"D"),
]))

corpus["unc.txt"] = crlf(b"Shares", *records([
    (b"\\\\host\\share\\evil.exe", b"A"),
    (b"//host/share/evil.exe", b"B"),
    (b"\\\\127.0.0.1\\c$\\Windows\\evil.exe", b"C"),
    (b"\\/host/share", b"D"),
    (b"/\\host\\share", b"E"),
]))

corpus["device-namespace.txt"] = crlf(b"Namespaces", *records([
    (b"\\\\?\\C:\\evil.exe", b"A"),
    (b"\\\\.\\C:\\evil.exe", b"B"),
    (b"\\\\?\\UNC\\host\\share\\evil.exe", b"C"),
    (b"\\\\.\\PhysicalDrive0", b"D"),
    (b"\\??\\C:\\evil.exe", b"E"),
    (b"//?/C:/evil.exe", b"F"),
    (b"\\\\.\\pipe\\evil", b"G"),
]))

corpus["alternate-streams.txt"] = crlf(b"Streams", *records([
    (b"a.exe:evil.exe", b"A"),
    (b"a.exe::$DATA", b"B"),
    (b"a.exe:evil:$DATA", b"C"),
    (b"tools\\a.exe:x", b"D"),
    (b":evil", b"E"),
    (b"a.exe", b"The file itself"),
]))

corpus["device-names.txt"] = crlf(b"Devices", *records([
    (b"CON", b"1"), (b"nul", b"2"), (b"Aux", b"3"), (b"PRN", b"4"),
    (b"COM1", b"5"), (b"com9", b"6"), (b"LPT1", b"7"), (b"lpt9", b"8"),
    (b"CONIN$", b"9"), (b"conout$", b"10"),
    # Superscript one and two in the 8-bit code page: devices once decoded.
    (b"COM\xb9", b"11"), (b"LPT\xb2", b"12"),
    (b"console.exe", b"Look-alike"), (b"nullable.txt", b"Look-alike"),
    (b"com10.exe", b"Look-alike"), (b"lpt.txt", b"Look-alike"),
    (b"auxiliary.dll", b"Look-alike"), (b"prn2.pdf", b"Look-alike"),
]))

corpus["device-names-ext.txt"] = crlf(b"Devices", *records([
    (b"CON.txt", b"A"), (b"nul.exe", b"B"), (b"COM1.dll", b"C"),
    (b"lpt1.tar.gz", b"D"), (b"NUL .txt", b"E"), (b"Com1 .log", b"F"),
    (b"aux.", b"G"), (b"con.txt.exe", b"H"),
]))

corpus["device-names-subfolder.txt"] = crlf(b"Devices", *records([
    (b"tools\\CON", b"A"), (b"tools\\nul.txt", b"B"), (b"tools/COM1.exe", b"C"),
    (b"tools\\LPT1 .log", b"D"), (b"CON\\x.exe", b"E"), (b"nul\\x.exe", b"F"),
    (b"tools\\connect.exe", b"Look-alike in the folder"),
]))

# One line of a mebibyte, as a caption, and a long title.
corpus["long-line.txt"] = crlf(b"T" * 65536, *records([
    (b"big.exe", b"C" * (1 << 20)),
    (b"small.exe", b"Small"),
]))

corpus["nul-bytes.txt"] = crlf(b"Ti\0tle", *records([
    (b"a\0.exe", b"Nul in the name"),
    (b"ok.exe", b"ca\0ption"),
    (b"\0\0\0", b"\0"),
]))

# A picture served in place of the manifest: its signature holds a CR LF
# and then a Ctrl-Z.
corpus["binary-png.txt"] = (
    b"\x89PNG\r\n\x1a\n" + b"\x00\x00\x00\x0dIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06"
    b"\x00\x00\x00\x1f\x15\xc4\x89" + b"\x00\x00\x00\x00IEND\xaeB`\x82")

# A program served in place of the manifest.
corpus["binary-exe.txt"] = (
    b"MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xff\xff\x00\x00\xb8\x00\x00\x00"
    b"\x00\x00\x00\x00@\x00\x00\x00\x00\x00\x00\x00\r\r\n"
    b"This program cannot be run in DOS mode.\r\r\n"
    b"$\x00\x00\x00\x00\x00\x00\x00PE\x00\x00d\x86\x06\x00")


def garbage_line(rng):
    # Any byte but the line ends and Ctrl-Z; never blank at either end, so
    # trimming keeps the BEL in the middle that makes every name unsafe.
    allowed = [b for b in range(256) if b not in (0x0a, 0x0d, 0x1a)]
    ends = [b for b in allowed if b > 0x20]
    body = bytes(rng.choice(allowed) for _ in range(rng.randint(8, 60)))
    return bytes([rng.choice(ends)]) + body + b"\x07" + body + bytes([rng.choice(ends)])


rng = random.Random(20240611)
corpus["binary-garbage.txt"] = b"\n".join(garbage_line(rng) for _ in range(1 + 2 * 32)) + b"\n"

corpus["bom-utf8.txt"] = crlf(b"\xef\xbb\xbfTavimo Tools", *records([
    (b"R\xc3\xa9sum\xc3\xa9.pdf", b"R\xc3\xa9sum\xc3\xa9"),
    (b"ok.exe", b"OK"),
]))

corpus["bom-utf16le.txt"] = b"\xff\xfe" + "Tools\r\na.exe\r\nA\r\n".encode("utf-16-le")
corpus["bom-utf16be.txt"] = b"\xfe\xff" + "Tools\r\na.exe\r\nA\r\n".encode("utf-16-be")

corpus["ctrlz-title-start.txt"] = crlf(b"\x1aTools", b"..\\evil.exe", b"Evil")
corpus["ctrlz-name-start.txt"] = crlf(b"Tools", b"a.exe", b"A", b"\x1a..\\evil.exe", b"Evil")
corpus["ctrlz-caption-start.txt"] = crlf(b"Tools", b"a.exe", b"\x1aA", b"..\\evil.exe", b"Evil")
corpus["ctrlz-mid-line.txt"] = crlf(b"Too\x1als", b"a.e\x1a..\\..\\evil.exe", b"Cap\x1a tion",
                                    b"b.exe", b"B")
corpus["ctrlz-after-lone-cr.txt"] = b"Ti\r\x1atle\r\nx.exe\rX\r\n"

# Old Macintosh line ends: one long title line and nothing else.
corpus["lone-cr.txt"] = b"Old Mac\rmac.exe\rMac\r"
corpus["lone-cr-mixed.txt"] = crlf(b"Tools", *records([
    (b"sp\rlit.exe", b"Cap\rtion"),
    (b"\r\r", b"Empty name"),
    (b"ok.exe", b"OK"),
]))

corpus["empty.txt"] = b""
corpus["title-only.txt"] = b"Just a title"

corpus["control-and-wildcards.txt"] = crlf(b"Controls", *records([
    (b"a\tb.exe", b"A"), (b"a\x7f.exe", b"B"), (b"x\x01y", b"C"), (b"*.exe", b"D"),
    (b"a?.exe", b"E"), (b"a|b.exe", b"F"), (b"a<b>.exe", b"G"), (b"a\"b.exe", b"H"),
    (b"a*b.exe", b"I"),
]))

corpus["empty-names.txt"] = crlf(b"T", *records([
    (b"", b"No file"),
    (b"   ", b"Blank"),
    (b"\t", b"Tab"),
]))

# Names the launcher uses for its own files: the local manifest copy and the
# temporary file a download is written to.
corpus["reserved-names.txt"] = crlf(b"T", *records([
    (b"a.exe.kestrune-part", b"Temporary name of a.exe"),
    (b"a.exe", b"A"),
    (b"updater1.txt", b"Own manifest copy"),
    (b"UPDATER1.TXT.KESTRUNE-PART", b"Temporary name of the copy"),
]))

corpus["realistic-one-bad.txt"] = crlf(b"Tavimo Tools 2.1", *records([
    (b"help.pdf", b"Read the help"),
    (b"tools\\setup.exe", b"Install"),
    (b"..\\..\\autoexec.bat", b"Something"),
    (b"new.exe", b"New tool"),
]))

corpus["ansi-names.txt"] = crlf(b"Caf\xe9", *records([
    (b"Caf\xe9.exe", b"Caf\xe9"),
    (b"\xc0\xe0.txt", b"Accents"),
]))

os.makedirs(OUT, exist_ok=True)
for name, data in sorted(corpus.items()):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print(f"{len(corpus)} manifests in {OUT}")
