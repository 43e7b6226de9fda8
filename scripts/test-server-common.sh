# What the scripts of the private test servers (pulse-test-server.sh, pipewire-test-server.sh)
# have in common; they source it. It reads their arguments, start|stop|kill|env <dir>
# [<script.pa>] (a script only with start) or stall <dir> <seconds>, into cmd, dir (made, and
# absolute), script (the seconds for stall) and pidfile; otherwise it prints the usage and
# exits 2 (usage, also for an unknown command).
usage() {
  echo "usage: $0 start|stop|kill|env <dir> [<script.pa>] | stall <dir> <seconds>" >&2
  exit 2
}
[ $# -eq 2 ] || { [ $# -eq 3 ] && [ "$1" = start ]; } || { [ $# -eq 3 ] && [ "$1" = stall ]; } ||
  usage
cmd=$1
dir=$2
script=${3:-}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
pidfile=$dir/pid

# The commands other than start, alike for every server: the sourcing script defines
# stop_server, kill_server (abruptly, as a crash would), stop_signal (sends a signal to every
# process of the server; fails when none runs) and exports PULSE_SERVER.
other_command() {
  case $cmd in
    stop)
      stop_server
      exit 0
      ;;
    kill)
      kill_server
      rm -f "$pidfile"
      exit 0
      ;;
    env)
      echo "PULSE_SERVER=$PULSE_SERVER"
      exit 0
      ;;
    stall)
      # Stops the server for <seconds>, as a loaded machine may stop it, and lets it go on
      # whatever happens meanwhile; exits 1 when no server runs, 2 when <seconds> is no number.
      [[ $script =~ ^[0-9]*\.?[0-9]+$ ]] || usage
      trap 'stop_signal CONT' EXIT
      stop_signal STOP || exit 1
      sleep "$script"
      exit 0
      ;;
    *)
      usage
      ;;
  esac
}

# end_process <pid, or -<process group>> [KILL]: TERM, and KILL when it has not ended within
# 5 s (at once with KILL); waits up to 5 s more for it to be gone.
end_process() {
  local i signal=${2:-TERM}
  kill "-$signal" -- "$1" 2>/dev/null
  for ((i = 0; i < 100; i++)); do
    kill -0 -- "$1" 2>/dev/null || return 0
    [ "$i" -eq 49 ] && kill -KILL -- "$1" 2>/dev/null
    sleep 0.1
  done
  return 1
}
