#!/usr/bin/env bash
# The quendal command as an integrator meets it: real simulators on a pty and on 127.0.0.1, the
# command's own output and exit status.
set -euo pipefail
q="$1"
source "$(dirname "${BASH_SOURCE[0]}")/lib/scratch.sh"
export LC_ALL=C.UTF-8

[ "$("$q" --version)" = "quendal ${QUENDAL_EXPECTED_VERSION:?}" ] || fail "--version"
# Hints name the command as it was started, so that they work from a build directory too.
self=$(realpath "$q")

# Every misuse is refused with exit status 2 and a first line naming the fault, before the usage.
while IFS='#' read -r args expected; do
  rc=0
  eval "\"\$q\" $args" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -eq 2 ] || fail "quendal $args: exit $rc, not 2"
  head -n 1 "$work/out" | grep -qF -- "$expected" ||
    fail "quendal $args: the first line is not '$expected': $(head -n 1 "$work/out")"
done <<'CASES'
#no command given
nosuch#unknown command
--version 2#--version takes no argument
run#no request line
run --bogus '1|x'#unknown option --bogus
run '1|a' '1|b'#one request line only
run $'1|\xff\xfe|B0110001'#not UTF-8 text
sim-hosts --bank-port 70000#bad value for --bank-port: '70000' (expected 0 for a free port, or a port from 1000 to 10000
sim-hosts --business-port 999#bad value for --business-port: '999'
sim-hosts --bank-port 6002#cannot both listen on port 6002
sim-hosts --bank-port 4000 --business-port 4000#cannot both listen on port 4000
sim-hosts --business accept,nonsense#bad value for --business: 'accept,nonsense' (expected a scenario
sim-hosts --seconds#missing value for --seconds (expected a whole number from 1 to 86400)
sim-hosts --frobnicate 1#unknown option --frobnicate
sim-terminal --relays -1#bad value for --relays: '-1' (expected a whole number from 0 to 1000)
sim-terminal --split 3#bad value for --split: '3' (expected N:MS
sim-terminal --com#missing value for --com (expected a whole number from 1 to 255)
sim-terminal --text 一二三四五六七八九十一二三四五六七八九十一#bad value for --text
sim-terminal --wat#unknown option --wat
CASES

# --link creates a new link or replaces the one an earlier run left (a link to a pty); whatever
# else is at the path is someone's, and stays as it was.
mkdir "$work/folder"
echo kept >"$work/file"
ln -s /etc/hostname "$work/foreign"
while IFS='#' read -r path expected; do
  rc=0
  "$q" sim-terminal --link "$work/$path" --seconds 1 >"$work/out" 2>&1 || rc=$?
  [ "$rc" -eq 1 ] && grep -qF "will not link: $work/$path $expected" "$work/out" ||
    fail "--link $path: exit $rc, $(cat "$work/out")"
done <<'CASES'
file#exists and is not a link an earlier sim-terminal left
foreign#is a symbolic link to /etc/hostname
folder#is a directory; --link names the link to create, e.g.
CASES
[ "$(cat "$work/file")" = kept ] && [ "$(readlink "$work/foreign")" = /etc/hostname ] &&
  [ -d "$work/folder" ] || fail "a refused --link path was changed"
ln -s /dev/pts/999999 "$work/com1"  # what a killed run leaves behind

# The hosts: six business connections accepted (two sales, a test and a test), then a refused
# report.
"$q" sim-hosts --bank-port 0 --business-port 0 --seconds 120 \
  --business accept,accept,accept,accept,accept,accept,refuse:保单已失效 >"$work/hosts.log" 2>&1 &
pids+=($!)
"$q" sim-terminal --relays 1 --text "批准 123.45" --link "$work/com1" --seconds 120 \
  >"$work/terminal.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -e "$work/com1" ] && grep -q "business host on" "$work/hosts.log" && break
  sleep 0.05
done
ports=$(sed -n 's/^bank host on 127.0.0.1:\([0-9]*\), business host on 127.0.0.1:\([0-9]*\).*/\1 \2/p' \
  "$work/hosts.log")
read -r bank business <<<"$ports" || fail "the hosts did not start: $(cat "$work/hosts.log")"
grep -qxF "use: QUENDAL_COM1=$work/com1 $self run \"...|1|...\"" "$work/terminal.log" ||
  fail "the terminal's hint: $(grep use: "$work/terminal.log")"

# A port already taken stops the command at once, with the reason.
rc=0
"$q" sim-hosts --bank-port "$bank" --business-port 0 --seconds 60 >"$work/taken" 2>&1 || rc=$?
[ "$rc" -eq 1 ] && grep -q "cannot listen on 127.0.0.1:$bank for the bank host: Address already in use" \
  "$work/taken" || fail "taken port: exit $rc, $(cat "$work/taken")"

request() {  # business reference, COM port number
  echo "1|REF000000000001|B0110001|12345|000000|VAL001|$1||$2|127.0.0.1|$bank|30|127.0.0.1|$business|30"
}
run() {
  local rc=0
  QUENDAL_COM1="$work/com1" QUENDAL_COM3="$work/absent" "$q" run "$@" >"$work/run.log" 2>&1 || rc=$?
  echo "$rc"
}

# Approved, with a Chinese business reference typed in UTF-8: the hosts receive it as GBK.
[ "$(run "$(request 张三保单 1)")" -eq 0 ] || fail "approved sale: $(cat "$work/run.log")"
grep -qx "COM1 opens $work/com1 (from QUENDAL_COM1): exists" "$work/run.log" || fail "COM line"
grep -q "连接业务主机" "$work/run.log" || fail "no live status text: $(cat "$work/run.log")"
[ "$(tail -n 1 "$work/run.log")" = "approved: 批准 123.45" ] || fail "outcome: $(tail -n 1 "$work/run.log")"
# The hosts' trace shows their bytes read as GBK: UTF-8 bytes would show as something else.
grep -q "text: .*张三保单" "$work/hosts.log" || fail "张三保单 did not reach the hosts as GBK"
grep -q "C5 FA D7 BC" "$work/terminal.log" || fail "the terminal's text did not go out as GBK"
grep -q "header_code=YESIAMOK kind=0x00 num0=" "$work/terminal.log" || fail "the trace names no header fields"
grep -q "header_code=00000000 kind=0x55 bank relay" "$work/terminal.log" || fail "the trace does not name the relay"
today=$(date +%Y%m%d)
grep -q "text: .*批准 123.45.*$today" "$work/terminal.log" || fail "the answer is not dated today"

# --raw hands the bytes over as they are: GBK typed as GBK arrives unchanged.
[ "$(run --raw "$(request $'\xc0\xee\xcb\xc4' 1)")" -eq 0 ] || fail "--raw run"
grep -q "text: .*李四" "$work/hosts.log" || fail "--raw bytes changed on the way"

# A COM port that leads nowhere is named before the library gives its 打开COM错误. The line has
# a 16th field and an operation type the library takes as a sale, and the status log cannot be
# written: each is warned of, and the status texts are still shown live.
line="9$(request POLICY-42 3 | cut -c2-)|extra"
[ "$(QUENDAL_STATUS_LOG="$work/nowhere/status.log" run "$line")" -eq 1 ] || fail "absent device run"
grep -qx "COM3 opens $work/absent (from QUENDAL_COM3): does not exist (No such file or directory)" \
  "$work/run.log" || fail "absent device: $(cat "$work/run.log")"
for warning in \
  "warning: the request line has 16 fields, not 15; the library ignores those after the 15th ($self --help lists them)" \
  "warning: operation type '9' is not 1 to 6: the library takes it as 1, a sale" \
  "warning: QUENDAL_STATUS_LOG=$work/nowhere/status.log cannot be written (No such file or directory)"; do
  grep -qF "$warning" "$work/run.log" || fail "no '$warning' in: $(cat "$work/run.log")"
done
grep -q "连接业务主机" "$work/run.log" || fail "no live status with an unwritable log: $(cat "$work/run.log")"
[ "$(tail -n 1 "$work/run.log")" = "failed: 打开COM错误" ] || fail "outcome: $(tail -n 1 "$work/run.log")"

# The fifth business connection refuses the result report.
[ "$(run "$(request POLICY-42 1)")" -eq 1 ] || fail "refused report"
[ "$(tail -n 1 "$work/run.log")" = "failed: 保单已失效.....银行平台信息:批准 123.45" ] ||
  fail "refused report outcome: $(cat "$work/run.log")"
# A business host that takes the connection and never answers: the call waits out field 14.
"$q" sim-hosts --bank-port 0 --business-port 0 --business silent --seconds 60 >"$work/silent.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "business host on" "$work/silent.log" && break; sleep 0.05; done
silent_port=$(sed -n 's/.*business host on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/silent.log")

# Ctrl-C or SIGTERM during the call ends the command without leaving its temporary status log.
mkdir "$work/tmp"
for signal in INT TERM; do
  rc=0
  TMPDIR="$work/tmp" timeout -s "$signal" 1 "$q" run \
    "1|REF000000000001|B0110001|12345|000000|VAL001|X||1|127.0.0.1|$bank|30|127.0.0.1|$silent_port|30" \
    >"$work/signal.log" 2>&1 || rc=$?
  [ "$rc" -eq 124 ] || fail "SIG$signal: exit $rc, $(cat "$work/signal.log")"
  [ -z "$(ls -A "$work/tmp")" ] || fail "SIG$signal left $(ls "$work/tmp")"
done

# On a terminal, a wait shows a live count that the next status text replaces; here the library
# waits out field 14's 2 seconds.
if command -v script >/dev/null; then
  line="1|REF000000000001|B0110001|12345|000000|VAL001|X||1|127.0.0.1|$bank|30|127.0.0.1|$silent_port|2"
  script -qec "'$q' run '$line'" /dev/null >"$work/tty.log" 2>&1 || true
  tr -d '\r' <"$work/tty.log" >"$work/tty.txt"
  # Saved cursor, the count, then restored cursor and erased line right before the next text.
  grep -q $'\e7\e\[2m  (1 s since the last status text)' "$work/tty.txt" || fail "no live count on a tty"
  grep -q $'\e8\e\[K结果失败' "$work/tty.txt" || fail "the live count is not cleared by the next text"
  [ "$(tail -n 1 "$work/tty.txt")" = "failed: 从保险主机接收数据错误" ] ||
    fail "tty outcome: $(tail -n 1 "$work/tty.txt" | od -c | head -3)"
fi
echo "quendal command: all checks passed"
