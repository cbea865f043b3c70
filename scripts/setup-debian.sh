#!/usr/bin/env bash
# Installs the Debian 12 packages Lyrvox needs to build, test and play, when any
# is missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev
    gstreamer1.0-plugins-base   # QMediaPlayer's constructor crashes without it
    gstreamer1.0-plugins-good   # MP3, WAV, FLAC; the base plugins decode OGG and OPUS
    gstreamer1.0-libav          # AAC and M4A, video
    gstreamer1.0-plugins-bad    # MIDI through fluidsynth; key and tempo (SoundTouch's pitch)
    gstreamer1.0-plugins-ugly   # lyrvox-cdg video: H.264 through x264enc
    ffmpeg                      # bench/video_bench.sh: FFmpeg's export beside Lyrvox's
    rubberband-ladspa           # key changes that keep the voice's formants (Rubber Band through
                                # the bad plugins' LADSPA bridge); SoundTouch does it without
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev   # the song audio's own pipeline
    libebur128-dev              # songs' loudness (EBU R128) for even volume
    gstreamer1.0-tools          # the tests make OGG, OPUS, FLAC, M4A and AAC tones with it
    libzip-dev                  # MP3+G zips
    libsqlite3-dev              # the song library's index (FTS5)
    qt6-httpserver-dev qt6-websockets-dev   # the server for the singers' phones
    libqrencode-dev             # the QR code of the phones' page
    chromium                    # the phones' page tested in a headless browser
    zbar-tools                  # zbarimg: the tests read the QR code back
    sqlite3                     # the library tests write an index from another version
    libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev    # libFuzzer and the sanitizer runtimes
    llvm                        # llvm-symbolizer: file and line in the sanitizers' traces
    clang-format                # the formatting check
    xvfb xauth x11-utils imagemagick xdotool
    python3                     # the smoke test closes the window as a window manager does
    xdg-utils                   # Info opens the user's guide with xdg-open
    desktop-file-utils appstream shared-mime-info file   # the install check
    dpkg-dev                    # dpkg-shlibdeps for cpack -G DEB
    lintian man-db              # the package check (tests/package_check.sh)
    pulseaudio pulseaudio-utils # the benchmarks' private sound server with a null sink
    dbus-daemon                 # the media-controls test's private session bus
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
