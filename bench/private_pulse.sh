# Sourced by the benchmarks that play through a sound server: a private PulseAudio
# with a null sink, in a runtime folder of its own under WORK, never the user's.
#
#   start_private_pulse WORK [NULL_SINK_ARGUMENTS]
#
# Exports XDG_RUNTIME_DIR, XDG_CONFIG_HOME and HOME under WORK, starts the server
# and sets server_pid (the caller ends it by that PID); exits when it does not start.
#
#   pulse_scratch [NULL_SINK_ARGUMENTS]
#
# Makes the scratch folder $work, starts the server there, and at exit ends the
# processes the caller noted in player_pid and watcher_pid, then the server, then
# removes the folder (after keep_results, when the caller defines it).
#
#   player_bench_scratch
#
# For the benchmarks that run the player and lyrvox-cdg ($player, $cli) on songs
# made with ffmpeg: checks the tools, sets corpus, starts pulse_scratch and gives
# the player data, temporary and song folders of its own under $work, offscreen.
start_private_pulse() {
    local work=$1 sink=${2:-}
    export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config HOME=$work
    mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
    chmod 700 "$XDG_RUNTIME_DIR"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=file:"$work/pulse.log" \
        -L "module-null-sink $sink" -L module-native-protocol-unix &
    server_pid=$!
    for _ in $(seq 50); do
        [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && return 0
        sleep 0.1
    done
    echo "PulseAudio did not start" >&2
    exit 1
}

pulse_scratch() {
    work=$(mktemp -d)
    server_pid="" player_pid="" watcher_pid=""
    trap end_pulse_scratch EXIT
    start_private_pulse "$work" "$@"
}

end_pulse_scratch() {
    local pid
    for pid in "$player_pid" "$watcher_pid" "$server_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if declare -F keep_results >/dev/null; then keep_results; fi
    rm -rf "$work"
}

player_bench_scratch() {
    corpus=$root/../shared/corpus
    local tool
    for tool in "$player" "$cli"; do
        [ -x "$tool" ] || { echo "missing $tool: build the lyrvox and lyrvox-cdg targets" >&2; exit 1; }
    done
    for tool in ffmpeg pulseaudio; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
    done
    pulse_scratch
    export XDG_DATA_HOME=$work/data TMPDIR=$work/tmp QT_QPA_PLATFORM=offscreen
    mkdir -p "$XDG_DATA_HOME" "$TMPDIR" "$work/songs"
}
