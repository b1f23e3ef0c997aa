"""Every frame of an animation, against the converter.

For each input and both formats: writes the animation, decodes it with
Pillow (which composites each frame onto the ones before), and checks that
at every frame time k*d the picture shown is the converter's picture of the
first N_k bytes, with N_k = min(P, k*d*b // 1000); that the delays add up to
the playback's length plus the hold; that equal frames were merged; that the
loop flag is as asked; and that the length limit cuts where it should.

Usage: anim_proof.py TARVEX_PLAY TARVEX FONT EXAMPLES
"""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageSequence

PLAY, TARVEX, FONT, EXAMPLES = sys.argv[1:5]
LONGEST = 65535


def Sauce(Comments=b""):
    """The end-of-file byte, an optional comment block and a SAUCE record."""
    Record = bytearray(b"SAUCE00" + b" " * 121)
    Lines = len(Comments) // 64
    Record[104] = Lines
    Block = b"COMNT" + Comments if Lines else b""
    return b"\x1a" + Block + bytes(Record)


def PlayableLength(Data):
    """The bytes before a trailing SAUCE record, its comments and its
    end-of-file byte."""
    End = len(Data)
    if End < 128 or Data[End - 128:End - 121] != b"SAUCE00":
        return End
    End -= 128
    Block = 5 + 64 * Data[End + 104]
    if Data[End + 104] and End >= Block and Data[End - Block:End - Block + 5] == b"COMNT":
        End -= Block
    if End and Data[End - 1] == 0x1A:
        End -= 1
    return End


def Scrolling(Lines):
    return b"".join(b"\x1b[%dmline %d of a piece that scrolls\r\n" % (31 + I % 7, I)
                    for I in range(Lines))


def Example(Name):
    with open(os.path.join(EXAMPLES, Name), "rb") as File:
        return File.read()


CLEARS = (b"\x1b[44mfilled" * 40 + b"\x1b[2J\x1b[1;1Hafter a clear\x1b[0m" +
          b"\x1b[5;10Hline\x1b[1K\x1b[12;3Hmore\x1b[J" + b"x" * 200)
STILL = b"A" + b"\x1b[m" * 9000 + b"B"  # a long stretch that changes nothing

# name, input, bits per second, delay, hold, once, max length
CASES = [
    ("colours", Example("colours.ans"), 9600, 4, 5, 0, 600),
    ("cursor", Example("cursor.ans"), 2400, 7, 1, 1, 600),
    ("blocks", Example("blocks.ans"), 19200, 2, 0, 0, 0),
    ("scrolling", Scrolling(60), 19200, 4, 5, 0, 600),
    ("clears", CLEARS, 9600, 3, 2, 0, 600),
    ("sauce", Scrolling(30) + Sauce(b"c" * 128), 9600, 4, 5, 0, 600),
    ("empty", b"", 9600, 4, 5, 0, 600),
    ("short", b"Hi", 9600, 4, 5, 0, 600),
    ("limit", Scrolling(40), 300, 4, 3, 0, 1),
    ("split", STILL, 300, 2, 0, 0, 0),
]


def Run(Args, Folder):
    Done = subprocess.run(Args, cwd=Folder, capture_output=True, timeout=30)
    if Done.returncode != 0:
        sys.exit("%s failed: %s" % (Args, Done.stderr.decode(errors="replace")))
    return Done.stderr.decode()


class References:
    """The converter's picture of the first n bytes, 8 bits a sample."""

    def __init__(self, Folder, Data):
        self.Folder, self.Data, self.Pictures = Folder, Data, {}

    def Of(self, Length):
        if Length not in self.Pictures:
            with open(os.path.join(self.Folder, "prefix.ans"), "wb") as File:
                File.write(self.Data[:Length])
            Run([TARVEX, "prefix.ans", "prefix.png"], self.Folder)
            with Image.open(os.path.join(self.Folder, "prefix.png")) as Picture:
                self.Pictures[Length] = Picture.convert("RGB").tobytes()
        return self.Pictures[Length]


def Decode(Path):
    """Composited frames, their delays in centiseconds, and the loop count
    (None when the file has none)."""
    Frames, Delays = [], []
    with Image.open(Path) as Animation:
        Loop = Animation.info.get("loop")
        for Frame in ImageSequence.Iterator(Animation):
            Frames.append(Frame.convert("RGB").tobytes())
            Delays.append(round(Frame.info["duration"] / 10))
    return Frames, Delays, Loop


def Check(Name, Kind, Data, Played, Bps, Delay, Hold, Once, MaxLength, Folder, Refs):
    Output = os.path.join(Folder, "out." + Kind)
    Notes = Run([PLAY, "--" + Kind, "--bps", str(Bps), "--delay=%d" % Delay, "--hold", str(Hold),
                 "--max-length", str(MaxLength), "-o", Output, "input.ans"] +
                ["--once"] * Once + ["--no-font"] * (not os.path.exists(FONT)), Folder)
    if Kind == "apng":
        Run(["pngcheck", "-q", Output], Folder)
    Frames, Delays, Loop = Decode(Output)
    Where = "%s (%s)" % (Name, Kind)

    def At(K):
        return min(Played, K * Delay * Bps // 1000)

    Last = 0
    while At(Last) < Played:
        Last += 1
    Limit = MaxLength * 100 // Delay if MaxLength else None
    Cut = Limit is not None and Last > Limit
    if Cut:
        Last = Limit
    Length = Last * Delay + max(100 * Hold, Delay)
    Failures = []
    Note = ("tarvex-play: input.ans: playback cut at %d s (--max-length); the last frame shows "
            "the final picture\n" % MaxLength if Cut else "")
    if Notes != Note:
        Failures.append("notes %r, expected %r" % (Notes, Note))
    if sum(Delays) != Length:
        Failures.append("delays add up to %d cs, expected %d" % (sum(Delays), Length))
    if Kind == "gif":
        Expected = 0 if Once == 0 else None
    else:
        Expected = 1 if Once else 0
    if Loop != Expected:
        Failures.append("loop %s, expected %s" % (Loop, Expected))
    Starts = [sum(Delays[:J]) for J in range(len(Delays))]
    for J in range(1, len(Frames)):
        if Frames[J] == Frames[J - 1] and Delays[J - 1] != LONGEST // Delay * Delay:
            Failures.append("frame %d repeats frame %d" % (J, J - 1))
        if Starts[J] % Delay:
            Failures.append("frame %d starts at %d cs" % (J, Starts[J]))
    # Every frame time when there are few, else each frame's first and last.
    Times = set(range(Last + 1)) if Last <= 400 else {Last}
    if Last > 400:
        for J in range(len(Frames)):
            End = Starts[J + 1] if J + 1 < len(Frames) else Last * Delay + Delay
            Times |= {Starts[J] // Delay, min(Last, End // Delay - 1)}
    Frame = 0
    for K in sorted(Times):
        while Frame + 1 < len(Frames) and Starts[Frame + 1] <= K * Delay:
            Frame += 1
        # The final frame shows the converter's picture of the whole file.
        Want = Refs.Of(len(Data) if K == Last else At(K))
        if Frames[Frame] != Want:
            Failures.append("at %d cs (byte %d) frame %d differs" % (K * Delay, At(K), Frame))
            break
    for Failure in Failures:
        print("%s: %s" % (Where, Failure))
    print("%s: %d frames, %d frame times, %d cs%s" %
          (Where, len(Frames), len(Times), sum(Delays), ", cut" if Cut else ""))
    return not Failures


def main():
    Ok = True
    for Name, Data, Bps, Delay, Hold, Once, MaxLength in CASES:
        with tempfile.TemporaryDirectory() as Folder:
            if os.path.exists(FONT):
                shutil.copy(FONT, os.path.join(Folder, "cp437.fnt"))
            with open(os.path.join(Folder, "input.ans"), "wb") as File:
                File.write(Data)
            Refs = References(Folder, Data)
            for Kind in ("gif", "apng"):
                Ok &= Check(Name, Kind, Data, PlayableLength(Data), Bps,
                            Delay, Hold, Once, MaxLength, Folder, Refs)
    sys.exit(0 if Ok else 1)


main()
