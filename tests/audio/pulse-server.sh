# Sourced by the scripts that play into a sound server: start_pulse DIR starts a PulseAudio server
# of its own with its runtime folder under DIR (one null sink, "heard", at PULSE_RATE, whose monitor
# records what is played) and points PULSE_SERVER at it; PULSE_PID is its process. -n: no
# configuration file, only the modules named here. As root PulseAudio warns and runs on. The sink
# never rewinds: otherwise, when a stream that ran dry gets data again, the sink renders anew what it
# had already rendered ahead, and the monitor, which has passed part of that on, records neither
# pass faithfully. So the recording is what the sink played, once. The server's log (at level info:
# each stream's format and latency) is DIR/server.log.
# Returns 1, with the server's last words on standard output, when it cannot start.
PULSE_RATE=48000
start_pulse() {
  local dir=$1
  mkdir -p "$dir/run" "$dir/home"
  HOME=$dir/home XDG_RUNTIME_DIR=$dir/run PULSE_RUNTIME_PATH=$dir/run PULSE_STATE_PATH=$dir/home \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    --log-target=stderr --log-level=info \
    --load="module-null-sink sink_name=heard rate=$PULSE_RATE channels=2 norewinds=1" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" >"$dir/server.log" 2>&1 &
  PULSE_PID=$!
  printf 'autospawn = no\n' >"$dir/client.conf"
  export PULSE_SERVER=unix:$dir/native PULSE_CLIENTCONFIG=$dir/client.conf
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    kill -0 "$PULSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  grep -v '^W:' "$dir/server.log" | tail -5
  return 1
}
