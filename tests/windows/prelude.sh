# Shared by the Wine tests, sourced with their arguments: the Windows
# program, the Linux one and the examples folder. Each test runs in a
# scratch folder; Finish prints the count and sets the status.
set -uo pipefail
Exe=$(realpath "$1")
Linux=$(realpath "$2")
Examples=$(realpath "$3")
export WINEDEBUG=-all
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
cd "$Work"
Passed=0
Failed=0
wine cmd /c exit > /dev/null 2>&1 || true # the first start sets up Wine and talks about it

Check() { # NAME CONDITION...
  local Name=$1
  shift
  if "$@"; then Passed=$((Passed + 1)); else Failed=$((Failed + 1)); echo "FAILED: $Name"; fi
}
# ExpectIn FILE NAME STATUS LINE...: the last run wrote exactly these lines
# to FILE, each ended by CR LF, and ended with that status.
ExpectIn() {
  local File=$1 Name=$2 Status=$3 Want="" Line
  shift 3
  for Line in "$@"; do Want+="$Line"$'\r\n'; done
  if [ "$RunStatus" = "$Status" ] && [ "$(cat "$File"; printf x)" = "${Want}x" ]; then
    Passed=$((Passed + 1))
  else
    Failed=$((Failed + 1))
    echo "FAILED: $Name (status $RunStatus, want $Status)"
    echo "--- got:"; od -c "$File" | head -20; echo "--- stderr:"; head -5 err.txt
  fi
}
Run() { wine "$Exe" "$@" > out.txt 2> err.txt; RunStatus=$?; }
RunLine() { # the raw command line after the program's name, as cmd hands it over
  printf '@%s %s\r\n' "$(winepath -w "$Exe")" "$1" > run.bat
  wine cmd /c run.bat > out.txt 2> err.txt
  RunStatus=$?
}
Finish() {
  echo "$Passed passed, $Failed failed"
  [ "$Failed" -eq 0 ]
}
