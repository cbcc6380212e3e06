"""The .mid reader and writer against mido, an independent implementation: a file mido writes
(two tracks, tempo changes in both, running status, long SysEx) is read with mido's messages,
times and count of other events; a file ours writes is read back by mido the same way. Then
the tool: a file mido writes is sent to the virtual instrument, which echoes it, and the echo
saved as .mid holds the same messages at the same times in mido's reading.
Usage: midi_file_mido_test.py PATH_OF_midi_file_probe PATH_OF_midiparley"""
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

with tempfile.TemporaryDirectory() as scratch:
    # 480 ticks a quarter note: 120 ticks are 125 ms at first, 250 ms once the tempo halves.
    # Read without the tempo map, the last message would come 250 ms early.
    sent = mido.MidiFile(type=1, ticks_per_beat=480, tracks=[mido.MidiTrack([
        Meta("set_tempo", tempo=500000), Message("note_on", note=60),
        Message("note_off", note=60, time=120), Meta("set_tempo", tempo=1000000, time=120),
        Message("control_change", value=7, time=240)]), mido.MidiTrack([
        Message("sysex", data=[0x41, 0x10, 0x00]), Message("program_change", program=3),
        Message("sysex", data=[0x41, 0x10, 0x01], time=120),
        Message("sysex", data=[k & 0x7F for k in range(3000)], time=120),
        Message("sysex", data=[0x41, 0x10, 0x02], time=240)])])
    # Recognised by its start, not its name.
    sent.save(os.path.join(scratch, "update.bin"))
    run = subprocess.run([sys.argv[2], "-send=update.bin", "-idle=300", "-save=ECHO.Mid"],
                         cwd=scratch, input=b"\x1b", capture_output=True, timeout=60)
    err = run.stderr.decode(errors="replace")
    if run.returncode != 0 or ("sent 4 sysex messages (3017 bytes) from update.bin to MIDI output "
                               "device 0\nskipped 4 events that are not sysex\n") not in err:
        failures.append(f"status {run.returncode}, standard error:\n{err}")
    # The "sent" and "skipped" lines are notes about the run, which -quiet leaves out.
    run = subprocess.run([sys.argv[2], "-quiet", "-send=update.bin", "-timeout=0"], cwd=scratch,
                         input=b"", capture_output=True, timeout=60)
    if run.returncode != 0 or run.stderr:
        failures.append(f"-quiet: status {run.returncode}, standard error {run.stderr!r}")
    echo_path = os.path.join(scratch, "ECHO.Mid")
    if not os.path.exists(echo_path):
        failures.append("no ECHO.Mid written")
    else:
        echo = mido.MidiFile(echo_path)
        if (echo.type, len(echo.tracks), echo.ticks_per_beat) != (0, 1, 500):
            failures.append(f"ECHO.Mid: format {echo.type}, {len(echo.tracks)} tracks, "
                            f"{echo.ticks_per_beat} ticks per quarter note")
        (want, _), (got, _) = sysex_in(sent), sysex_in(echo)
        if [b for _, b in want] != [b for _, b in got]:
            failures.append("the echo holds other messages than the file sent")
        # Never early (the tool waits for each time, the echo comes at once) but for the
        # rounding to milliseconds and the input's delivery of the first echo; late by at most
        # what a loaded machine or a sanitizer costs.
        for (wanted, _), (arrived, _) in zip(want, got):
            if not -15000 <= arrived - wanted <= 100000:
                failures.append(f"a message due at {wanted:.0f} us was saved at {arrived:.0f} us")

for failure in failures:
    print("FAILED", failure)
sys.exit(1 if failures else 0)
