#!/usr/bin/python3
"""Makes the tempo set: dance pieces composed here with exact beats, and the MIDI music of Debian's
packages, rendered through Debian's SoundFonts, coloured and lossily encoded, each beside a JSON file
of its truth. Never checked in: it writes into the folder given (build/tempo-set by default).

    /usr/bin/python3 bench/tempo_set.py [FOLDER] [--pieces-per-dance N] [--seed S] [--jobs J]

Needs Debian's python3-mido and python3-numpy, fluidsynth, ffmpeg, timgm6mb-soundfont,
fluid-soundfont-gm, openttd-openmsx and planetblupi-music-midi.
"""

import argparse
import glob
import json
import math
import os
import random
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import mido

SOUNDFONTS = ["/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"]
DEBIAN_MIDI = sorted(glob.glob("/usr/share/games/openttd/baseset/openmsx/*.mid") +
                     glob.glob("/usr/share/planetblupi/music/*.mid"))
RATE = 44100
# Written in seconds: one tick is a 1920th of a second at this fixed tempo.
TICKS_PER_BEAT = 960
MIDI_TEMPO = 500000
TICKS_PER_SECOND = TICKS_PER_BEAT * 1000000 / MIDI_TEMPO

# The dances' meters and bands (bars per minute), as the program's defaults.
DANCES = {
    "waltz": (3, 28, 30), "viennese-waltz": (3, 58, 60), "tango": (4, 31, 33), "foxtrot": (4, 28, 30),
    "quickstep": (4, 50, 52), "samba": (2, 50, 52), "cha-cha": (4, 30, 32), "rumba": (4, 25, 27),
    "paso-doble": (2, 60, 62), "jive": (4, 42, 44), "polka": (2, 58, 62), "west-coast-swing": (4, 28, 32),
    "square-dance": (4, 31, 33),
}
SWUNG = {"foxtrot", "quickstep", "jive", "west-coast-swing"}
MAJOR = [0, 2, 4, 5, 7, 9, 11]
PROGRESSIONS = [[0, 3, 4, 0], [0, 5, 3, 4], [0, 4, 5, 3], [1, 4, 0, 0], [0, 3, 0, 4]]
KICK, SNARE, HAT, OPEN_HAT, RIDE, CLAVE, COWBELL, CRASH, TOM = 36, 38, 42, 46, 51, 75, 56, 49, 45


class Score:
    """Notes in seconds, written to a MIDI file at a fixed tempo."""

    def __init__(self):
        self.events = []  # (seconds, channel, note, velocity, length)
        self.programs = {}

    def note(self, seconds, channel, note, velocity, length):
        if seconds >= 0:
            self.events.append((seconds, channel, int(note), max(1, min(127, int(velocity))), length))

    def write(self, path):
        midi = mido.MidiFile(ticks_per_beat=TICKS_PER_BEAT)
        track = mido.MidiTrack()
        midi.tracks.append(track)
        track.append(mido.MetaMessage("set_tempo", tempo=MIDI_TEMPO, time=0))
        messages = []
        for channel, program in self.programs.items():
            messages.append((0, 0, mido.Message("program_change", channel=channel, program=program)))
        for seconds, channel, note, velocity, length in self.events:
            on = round(seconds * TICKS_PER_SECOND)
            off = round((seconds + length) * TICKS_PER_SECOND)
            messages.append((on, 2, mido.Message("note_on", channel=channel, note=note, velocity=velocity)))
            messages.append((off, 1, mido.Message("note_off", channel=channel, note=note, velocity=0)))
        messages.sort(key=lambda m: (m[0], m[1]))
        now = 0
        for tick, _, message in messages:
            track.append(message.copy(time=tick - now))
            now = tick
        midi.save(path)


def beat_times(rng, start, count, bpm, drift, humanise):
    """The beat grid: a slow drift (a ratio reached at the end), and a band's small timing slips."""
    times, t = [], start
    for k in range(count):
        times.append(t)
        factor = 1 + drift * k / max(1, count - 1)
        t += 60.0 / (bpm * factor)
    if humanise:
        times = [t + rng.gauss(0, 0.008) for t in times]
    return times


def free_intro(score, rng, key, seconds):
    """Sustained chords and a rubato line with no pulse: what a band plays before the count starts."""
    t = 0.0
    while t < seconds - 0.6:
        length = rng.uniform(0.7, 2.2)
        root = key + 48 + rng.choice(MAJOR)
        for offset in (0, 4, 7, 12):
            score.note(t + rng.uniform(0, 0.08), 1, root + offset, rng.randint(45, 70), length * 1.3)
        for _ in range(rng.randint(0, 2)):
            score.note(t + rng.uniform(0.1, length - 0.1), 2, key + 72 + rng.choice(MAJOR), rng.randint(50, 80),
                       rng.uniform(0.3, 0.9))
        t += length
    return t


def compose(name, dance, rng, variant):
    meter, low, high = DANCES[dance]
    bars_per_minute = rng.uniform(low, high)
    bpm = bars_per_minute * meter
    bars = rng.randint(18, 26) if bpm < 150 else rng.randint(30, 40)
    score = Score()
    key = rng.randint(0, 11)
    score.programs = {0: rng.choice([32, 33, 34, 43]),  # bass
                      1: rng.choice([0, 4, 21, 48, 26]),  # chords: piano, e-piano, accordion, strings, guitar
                      2: rng.choice([56, 65, 73, 71, 0, 11])}  # melody
    start = free_intro(score, rng, key, rng.uniform(4, 9)) if variant["intro"] else rng.uniform(0.3, 1.0)
    pickup = variant["pickup"] and meter > 1 and rng.random() < 0.9
    pickup_beats = rng.randint(1, meter - 1) if pickup and meter > 2 else (1 if pickup else 0)
    total = bars * meter + pickup_beats
    beats = beat_times(rng, start, total + 1, bpm, variant["drift"], variant["humanise"])
    end_time = beats[-1]
    beats = beats[:-1]
    first_bar = pickup_beats
    downbeats = [beats[i] for i in range(first_bar, total, meter)]
    progression = rng.choice(PROGRESSIONS)
    swing = variant["swing"]
    triplets = variant["triplets"]

    def at(index, fraction=0.0):
        """The time of a beat plus a fraction of its length, swung when the piece swings."""
        if swing and abs(fraction - 0.5) < 1e-9:
            fraction = 2 / 3
        nxt = beats[index + 1] if index + 1 < len(beats) else end_time
        return beats[index] + (nxt - beats[index]) * fraction

    def beat_length(index):
        nxt = beats[index + 1] if index + 1 < len(beats) else end_time
        return nxt - beats[index]

    def velocity(v):
        return v + (rng.randint(-12, 12) if variant["humanise"] else 0)

    for i in range(total):
        position = (i - first_bar) % meter
        bar = (i - first_bar) // meter
        if i < first_bar:
            # The pickup: the melody alone leads in.
            score.note(at(i), 2, key + 67 + rng.choice([0, 2, 4]), velocity(80), beat_length(i) * 0.9)
            continue
        # The harmony changes every bar, every second bar, or (in four) every half bar.
        step = {"bar": bar, "two-bars": bar // 2, "half-bar": bar * 2 + (position >= 2 if meter == 4 else 0)}
        degree = progression[step[variant["harmony"]] % len(progression)]
        root = key + MAJOR[degree]
        third = key + MAJOR[(degree + 2) % 7] + (12 if (degree + 2) >= 7 else 0)
        fifth = key + MAJOR[(degree + 4) % 7] + (12 if (degree + 4) >= 7 else 0)
        chord = [root + 60, third + 60, fifth + 60]
        length = beat_length(i)

        # Bass: the root on 1, then the fifth on the bar's middle beat, the root again, or a walk on
        # every beat.
        if position == 0:
            score.note(at(i), 0, root + 36, velocity(105), length * 0.9)
        elif variant["bass"] == "walking":
            score.note(at(i), 0, key + 36 + MAJOR[(degree + position * 2) % 7], velocity(95), length * 0.9)
        elif meter == 4 and position == 2:
            score.note(at(i), 0, (root + 36) if variant["bass"] == "root" else (fifth + 24), velocity(90),
                       length * 0.9)
        elif meter == 2 and position == 1 and dance in ("polka", "paso-doble"):
            score.note(at(i), 0, fifth + 24, velocity(85), length * 0.8)

        # Chords: struck evenly on every beat, or as the dance has them: off the bass in a waltz and a
        # polka, held from 1 elsewhere.
        if variant["comping"] == "every-beat":
            for note in chord:
                score.note(at(i), 1, note, velocity(66), length * 0.8)
        elif meter == 3 and position > 0:
            for note in chord:
                score.note(at(i), 1, note, velocity(70), length * 0.7)
        elif meter == 2 and position == 1:
            for note in chord:
                score.note(at(i), 1, note, velocity(72), length * 0.6)
        elif meter == 4 and position == 0:
            for note in chord:
                score.note(at(i), 1, note, velocity(62), length * meter * 0.95)
        if dance == "cha-cha" and position == 3:
            for fraction in (0.0, 0.5):
                for note in chord:
                    score.note(at(i, fraction), 1, note, velocity(70), length * 0.4)

        # Melody: beats, off-beats or triplets.
        if rng.random() < 0.75:
            if triplets and rng.random() < 0.5:
                for part in range(3):
                    score.note(at(i, part / 3), 2, key + 72 + rng.choice(MAJOR), velocity(75), length / 3 * 0.9)
            else:
                score.note(at(i), 2, key + 72 + rng.choice(MAJOR), velocity(85 if position == 0 else 72),
                           length * 0.5)
                if rng.random() < 0.5:
                    score.note(at(i, 0.5), 2, key + 72 + rng.choice(MAJOR), velocity(65), length * 0.4)

        if not variant["drums"]:
            continue
        if position == 0 and bar % 8 == 0:
            score.note(at(i), 9, CRASH, velocity(90), 0.5)
        if meter == 3:
            score.note(at(i), 9, KICK if position == 0 else HAT, velocity(100 if position == 0 else 60), 0.1)
            if position > 0 and dance == "viennese-waltz":
                score.note(at(i), 9, SNARE, velocity(50), 0.1)
        elif meter == 2:
            score.note(at(i), 9, KICK, velocity(100 if position == 0 else 85), 0.1)
            for fraction in ((0.25, 0.5, 0.75) if dance == "samba" else (0.5,)):
                score.note(at(i, fraction), 9, HAT, velocity(50), 0.05)
            if position == 1:
                score.note(at(i), 9, SNARE, velocity(80), 0.1)
        else:
            if position in (0, 2) or variant["four_on_the_floor"]:
                score.note(at(i), 9, KICK, velocity(105 if position == 0 else 90), 0.1)
            if position in (1, 3):
                score.note(at(i), 9, SNARE, velocity(85), 0.1)
            hat = RIDE if dance in SWUNG else HAT
            score.note(at(i), 9, hat, velocity(55), 0.1)
            if dance in ("cha-cha", "rumba", "tango") or swing or rng.random() < 0.5:
                score.note(at(i, 0.5), 9, hat, velocity(45), 0.05)
            if dance == "rumba" and position in (0, 2):
                score.note(at(i, 0.75 if position == 0 else 0.5), 9, CLAVE, velocity(70), 0.05)
            if dance == "tango" and position == 3:
                score.note(at(i, 0.5), 9, SNARE, velocity(70), 0.05)
    # The last chord, held.
    score.note(end_time, 0, key + 36, 100, 1.5)
    for note in (key + 60, key + 64, key + 67):
        score.note(end_time, 1, note, 80, 1.5)
    beats.append(end_time)
    downbeats.append(end_time)
    truth = {"dance": dance, "beatsPerBar": meter, "beats": beats, "downbeats": downbeats,
             "barsPerMinute": bars_per_minute, "bpm": bpm, "variant": variant, "source": "composed"}
    return score, truth


def midi_truth(path, seconds):
    """Beats and bars from a MIDI file's own tempo and meter events, from its first note on, within the
    first `seconds`. The beat is the meter's denominator (a dotted one for 6/8, 9/8 and 12/8)."""
    midi = mido.MidiFile(path)
    merged = mido.merge_tracks(midi.tracks)
    tempo_changes, meters, first_note, tick = [(0, 500000)], [(0, 4, 4)], None, 0
    for message in merged:
        tick += message.time
        if message.type == "set_tempo":
            tempo_changes.append((tick, message.tempo))
        elif message.type == "time_signature":
            meters.append((tick, message.numerator, message.denominator))
        elif message.type == "note_on" and message.velocity > 0 and first_note is None:
            first_note = tick
    last_tick = tick
    if first_note is None:
        return None

    def seconds_at(target):
        total, previous_tick, tempo = 0.0, 0, 500000
        for change_tick, change_tempo in tempo_changes:
            if change_tick >= target:
                break
            total += (change_tick - previous_tick) * tempo / 1e6 / midi.ticks_per_beat
            previous_tick, tempo = change_tick, change_tempo
        return total + (target - previous_tick) * tempo / 1e6 / midi.ticks_per_beat

    beats, downbeats, meter_numbers = [], [], set()
    index = 0
    bar_start = 0
    while True:
        while index + 1 < len(meters) and meters[index + 1][0] <= bar_start:
            index += 1
        _, numerator, denominator = meters[index]
        compound = denominator == 8 and numerator % 3 == 0 and numerator > 3
        per_bar = numerator // 3 if compound else numerator
        beat_ticks = midi.ticks_per_beat * 4 / denominator * (3 if compound else 1)
        meter_numbers.add(per_bar)
        for k in range(per_bar):
            t = bar_start + k * beat_ticks
            if t >= first_note and t <= last_tick:
                when = seconds_at(t)
                if when > seconds:
                    break
                beats.append(when)
                if k == 0:
                    downbeats.append(when)
        bar_start += per_bar * beat_ticks
        if bar_start > last_tick or seconds_at(bar_start) > seconds:
            break
    if len(beats) < 8:
        return None
    spacing = sorted(b - a for a, b in zip(beats, beats[1:]))
    bpm = 60 / spacing[len(spacing) // 2]
    per_bar = meter_numbers.pop() if len(meter_numbers) == 1 else 0
    return {"dance": None, "beatsPerBar": per_bar, "beats": beats, "downbeats": downbeats,
            "barsPerMinute": bpm / per_bar if per_bar else 0, "bpm": bpm, "source": os.path.basename(path)}


COLOURS = {
    "clean": "",
    "hall": "aecho=0.8:0.85:40|73|110:0.35|0.25|0.18,",
    "record": "highpass=f=250,lowpass=f=3200,acompressor=threshold=0.1:ratio=4,",
}
ENCODINGS = [("mp3", ["-c:a", "libmp3lame", "-b:a", "128k"]), ("mp3", ["-c:a", "libmp3lame", "-b:a", "96k"]),
             ("ogg", ["-c:a", "libvorbis", "-q:a", "3"]), ("m4a", ["-c:a", "aac", "-b:a", "128k"])]


def render(midi_path, out_base, rng, seconds=None):
    wav = out_base + ".render.wav"
    subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.5", "-r", str(RATE), "-F", wav, rng.choice(SOUNDFONTS),
                    midi_path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    colour = rng.choice(list(COLOURS))
    extension, codec = rng.choice(ENCODINGS)
    out = out_base + "." + extension
    trim = ["-t", str(seconds)] if seconds else []
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", wav] + trim +
                   ["-af", COLOURS[colour] + "aformat=channel_layouts=stereo", "-ar", str(RATE)] + codec + [out],
                   check=True)
    os.remove(wav)
    return out, colour


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", nargs="?", default="build/tempo-set")
    parser.add_argument("--pieces-per-dance", type=int, default=4)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--debian-seconds", type=float, default=75)
    arguments = parser.parse_args()
    os.makedirs(arguments.folder, exist_ok=True)

    jobs = []
    for d, dance in enumerate(DANCES):
        for p in range(arguments.pieces_per_dance):
            rng = random.Random(arguments.seed * 100003 + d * 101 + p)
            variant = {"pickup": rng.random() < 0.4, "intro": rng.random() < 0.3, "drift": rng.uniform(-0.04, 0.04)
                       if rng.random() < 0.4 else 0.0, "humanise": rng.random() < 0.6,
                       "drums": rng.random() < 0.7, "swing": dance in SWUNG and rng.random() < 0.7,
                       "triplets": rng.random() < 0.3,
                       "harmony": rng.choice(["bar", "bar", "two-bars", "half-bar"]),
                       "bass": rng.choice(["fifth", "fifth", "root", "walking"]),
                       "comping": rng.choice(["dance", "dance", "every-beat"]),
                       "four_on_the_floor": rng.random() < 0.25}
            jobs.append(("composed", f"{dance}-{p + 1}", dance, rng, variant))
    for path in DEBIAN_MIDI:
        rng = random.Random(arguments.seed * 7919 + DEBIAN_MIDI.index(path))
        jobs.append(("debian", os.path.splitext(os.path.basename(path))[0], path, rng, None))

    def make(job):
        kind, name, what, rng, variant = job
        base = os.path.join(arguments.folder, name)
        if kind == "composed":
            score, truth = compose(name, what, rng, variant)
            midi_path = base + ".mid"
            score.write(midi_path)
            seconds = None
        else:
            truth = midi_truth(what, arguments.debian_seconds)
            if truth is None:
                return name + ": no beats"
            midi_path, seconds = what, arguments.debian_seconds
        audio, colour = render(midi_path, base, rng, seconds)
        truth.update({"audio": os.path.basename(audio), "colour": colour})
        with open(base + ".json", "w") as out:
            json.dump(truth, out)
        return name

    with ThreadPoolExecutor(arguments.jobs) as pool:
        for done in pool.map(make, jobs):
            print(done, flush=True)


if __name__ == "__main__":
    sys.exit(main())
