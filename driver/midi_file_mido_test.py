"""The .mid reader and writer against mido, an independent implementation: a file mido writes
(two tracks, tempo changes in both, running status, long SysEx) is read with mido's messages,
times and count of other events; a file ours writes is read back by mido the same way.
Usage: midi_file_mido_test.py PATH_OF_midi_file_probe"""
import os
import subprocess
import sys
import tempfile

try:
    import mido
except ImportError:
    print("python3-mido is not installed (scripts/install-deps test): skipped")
    sys.exit(77)

Message, Meta = mido.Message, mido.MetaMessage
failures = []


def sysex_in(midi_file):
    """mido's reading: (microseconds, bytes) of each SysEx, and the count of other events."""
    now, found, others = 0.0, [], 0
    for msg in midi_file:  # merged tracks, times in seconds after the tempo map
        now += msg.time
        if msg.type == "sysex":
            found.append((now * 1e6, bytes(msg.bin())))
        others += not msg.is_meta and msg.type != "sysex"
    return found, others


def check(what, ours, theirs):
    if [b for _, b in ours] != [b for _, b in theirs] or any(
            abs(a - b) > 1.0 for (a, _), (b, _) in zip(ours, theirs)):
        failures.append(f"{what}:\n  ours   {ours}\n  mido's {theirs}")


def probe(*args, listing=None):
    run = subprocess.run([sys.argv[1], *args], input=listing, capture_output=True, text=True,
                         timeout=30)
    if run.returncode != 0:
        failures.append(f"midi_file_probe {' '.join(args)}: {run.stderr.strip()}")
    return run.stdout.splitlines() if run.returncode == 0 else None


with tempfile.TemporaryDirectory() as scratch:
    path = os.path.join(scratch, "mido.mid")
    theirs = mido.MidiFile(type=1, ticks_per_beat=480, tracks=[mido.MidiTrack([
        Meta("set_tempo", tempo=400000), Message("sysex", data=[0x41, 0x10, 0x42]),
        Message("note_on", note=60, time=240), Message("note_on", note=60, velocity=0, time=1),
        Meta("set_tempo", tempo=800000, time=239), Message("sysex", data=list(range(128)) * 3,
                                                           time=480)]), mido.MidiTrack([
        Message("program_change", program=5), Message("sysex", data=[0x7E, 0x7F, 0x06, 0x01]),
        Message("control_change", value=90, time=700), Meta("set_tempo", tempo=10**6, time=500),
        Message("sysex", data=[0x43, 0x20], time=1), Message("sysex", data=[1], time=3000)])])
    theirs.save(path)
    lines = probe("read", path)
    if lines is not None:
        expected, others = sysex_in(theirs)
        check("the SysEx of mido's file", [(float(line.split()[0]), bytes.fromhex(
            line.split(None, 1)[1])) for line in lines[1:]], expected)
        if lines[0] != f"skipped {others}":
            failures.append(f"mido's file: '{lines[0]}' where mido counts {others} other events")

    path = os.path.join(scratch, "ours.mid")
    written = [(0, "F0 7E 7F 06 01 F7"), (1500, "F0 41 10 " + "00 " * 200 + "F7"),
               (1500, "F0 F7"), (987654, "F0 43 20 00 F7")]
    listing = "".join(f"{ms} {text}\n" for ms, text in written)
    if probe("write", path, listing=listing) is not None:
        back = mido.MidiFile(path)
        if (back.type, len(back.tracks), back.ticks_per_beat) != (0, 1, 500):
            failures.append(f"our file: format {back.type}, {len(back.tracks)} tracks, "
                            f"{back.ticks_per_beat} ticks per quarter note")
        found, others = sysex_in(back)
        check("mido's reading of our file",
              [(ms * 1000.0, bytes.fromhex(text)) for ms, text in written], found)
        if others:
            failures.append(f"our file: mido finds {others} events that are not SysEx")

for failure in failures:
    print("FAILED", failure)
sys.exit(1 if failures else 0)
