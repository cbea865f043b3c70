#!/usr/bin/env bash
# A night's soak: 50 short songs by 5 singers through the real player, by itself,
# with the up-next pause, break music between the songs and even loudness, and the
# player's open descriptors and resident memory printed per song.
#
#   bench/night_soak.sh [BUILD_DIR]      (default build/dev)
#
# In a scratch folder of its own (XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR,
# TMPDIR, HOME; removed at the end) with a private PulseAudio and its null sink:
#  - SINGERS (default 5) singers with SONGS_EACH (default 10) songs each, each song
#    SONG_SECONDS (default 6) long: the corpus's demokar.cdg cut to length and an
#    MP3 cut from demokar.mp3 by ffmpeg at its own level and starting point; the
#    third singer's songs in key +2 (the pitch shifter runs for them);
#  - three break music MP3s of 20 s (tones), a 1 s up-next pause and 1 s fades,
#    even loudness on, all in the scratch settings file (Lyrvox/Lyrvox.conf);
#  - the songs put in the library and the singers' lists by lyrvox-cdg (library
#    scan, singers add, queue add --singer), then `lyrvox --start-night`, offscreen;
#  - bench/night_monitor.py prints each song's descriptors and VmRSS 2 s into it,
#    and at the end first/last/max, the growth, and "flat" when over the songs
#    after the 10th no song holds more descriptors than the 11th plus FD_BOUND
#    (default 0) and the resident memory's fitted line grows by at most
#    RSS_BOUND_KB (default 5120 kB), with its trend per song.
# About (SONG_SECONDS + 1.3) x SONGS s: under 7 minutes for 50. Exits 1 when not flat or songs
# went unplayed. Needs ffmpeg, pulseaudio and the lyrvox and lyrvox-cdg targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
player=$build/app/lyrvox
cli=$build/tools/cli/lyrvox-cdg
singers=${SINGERS:-5}
songs_each=${SONGS_EACH:-10}
song_seconds=${SONG_SECONDS:-6}
source "$root/bench/private_pulse.sh"
player_bench_scratch
mkdir -p "$work/break" "$XDG_CONFIG_HOME/Lyrvox"

# The songs: 300 packets of 24 bytes a second of graphics, and the audio.
total=$((singers * songs_each))
for ((i = 0; i < total; i++)); do
    base=$(printf '%s/songs/Soak Artist %02d - Night Song %02d' "$work" "$i" "$i")
    head -c $((song_seconds * 300 * 24)) "$corpus/demokar.cdg" >"$base.cdg"
    ffmpeg -nostdin -loglevel error -ss $(((i * 7) % 190)) -t "$song_seconds" \
        -i "$corpus/demokar.mp3" -af "volume=$((-15 + (i % 6) * 3))dB" \
        -c:a libmp3lame -b:a 128k "$base.mp3"
done
for ((i = 0; i < 3; i++)); do
    ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$((220 + 110 * i)):duration=20" \
        -ac 2 -c:a libmp3lame -b:a 96k "$work/break/break $i.mp3"
done
cat >"$XDG_CONFIG_HOME/Lyrvox/Lyrvox.conf" <<EOF
[Library]
PauseSeconds=1

[BreakMusic]
On=1
Path=$work/break
Volume=50
FadeSeconds=1

[Playback]
EvenLoudness=1
EOF

"$cli" library scan "$work/songs" >/dev/null
names=()
for ((s = 0; s < singers; s++)); do names+=("Singer $((s + 1))"); done
"$cli" singers add "${names[@]}" >/dev/null
for ((s = 0; s < singers; s++)); do
    list=()
    for ((k = 0; k < songs_each; k++)); do
        list+=("$(printf '%s/songs/Soak Artist %02d - Night Song %02d.cdg' "$work" $((k * singers + s)) $((k * singers + s)))")
    done
    key=()
    ((s == 2)) && key=(--key 2)
    "$cli" queue add --singer "${names[s]}" "${key[@]}" "${list[@]}" >/dev/null
done
echo "night: $singers singers, $total songs of $song_seconds s, 1 s up-next pause, break music" \
    "with 1 s fades, even loudness; $(uptime | sed 's/.*load/load/')"

"$player" --new-instance --start-night >"$work/player.log" 2>&1 &
player_pid=$!
status=0
python3 "$root/bench/night_monitor.py" "$player_pid" "$work/songs" "$work/break" "$total" \
    --timeout $((total * (song_seconds + 8) + 60)) --fd-bound "${FD_BOUND:-0}" \
    --rss-bound-kb "${RSS_BOUND_KB:-5120}" || status=$?
echo "load at the end: $(uptime | sed 's/.*load/load/') on $(nproc) cores"
history=$("$cli" queue list 2>/dev/null | wc -l)
echo "songs left in the rotation and queue: $history"
if ! kill -0 "$player_pid" 2>/dev/null; then
    echo "the player ended during the night:" >&2
    cat "$work/player.log" >&2
    status=1
fi
exit "$status"
