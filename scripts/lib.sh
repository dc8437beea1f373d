# Shared by scripts/run.sh, scripts/test.sh and scripts/with-screen.sh: Debian
# packages, locale, X server, Wine prefix and build steps. Source it, don't run it.
#
# Everything here is idempotent: a step whose result is already there is skipped.
# Functions that start a process record its pid so that vp_cleanup ends exactly the
# processes this run started.

VP_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VP_WINE=/usr/lib/wine/wine64          # the /usr/bin/wine* wrappers pick a 32-bit loader
VP_WINESERVER=/usr/lib/wine/wineserver
VP_PREFIX="${VPARSE_WINEPREFIX:-$VP_ROOT/build/wineprefix}"
VP_RUN_DIR="${VPARSE_RUN_DIR:-$VP_ROOT/build/run}"
# Bump when the way the prefix is prepared changes: older prefixes are then rebuilt.
VP_PREFIX_RECIPE=4

# Debian packages the build and the tests need (Debian 12).
VP_PACKAGES=(
  cmake make
  g++-mingw-w64-i686 g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
  mingw-w64-tools
  googletest
  wine wine64
  xvfb x11-apps x11-utils xdotool imagemagick
  fontconfig fonts-wine fonts-wqy-microhei
  locales procps python3
)

# The Chinese font of fonts-wqy-microhei, and the Windows faces it stands for.
VP_CHINESE_FONT="WenQuanYi Micro Hei"
VP_CHINESE_FACES=(SimSun NSimSun 宋体 新宋体 SimHei 黑体 "Microsoft YaHei" "Microsoft YaHei UI" 微软雅黑)

VP_XVFB_PIDS=()

# Start time of a process (clock ticks since boot): with the pid it names one process,
# even after the pid is reused.
vp_proc_start() { awk '{print $22}' "/proc/$1/stat" 2>/dev/null; }

vp_log() { printf '[vparse] %s\n' "$*" >&2; }
vp_die() { printf '[vparse] error: %s\n' "$*" >&2; exit 1; }
vp_now() { date +%s; }

vp_as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo -n "$@"
  else
    vp_die "not root and no sudo: cannot run $*"
  fi
}

# Installs the packages of VP_PACKAGES that are missing; refreshes the package lists
# only when something is missing.
vp_install_packages() {
  local missing=() p
  for p in "${VP_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$p")
    fi
  done
  if ((${#missing[@]} == 0)); then
    vp_log "Debian packages: all present"
    return 0
  fi
  vp_log "Debian packages: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  vp_as_root apt-get update -q </dev/null || vp_die "apt-get update failed"
  vp_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null \
    || vp_die "apt-get install failed"
}

# Wine takes the ANSI code page from the Unix locale: zh_CN.UTF-8 gives 936,
# C.UTF-8 gives 1252. Both must exist.
vp_has_locale() { locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$1"; }

vp_ensure_locales() {
  if ! vp_has_locale zh_cn.utf8; then
    vp_log "locale: generating zh_CN.UTF-8"
    if [[ -f /etc/locale.gen ]] && grep -qE '^#? *zh_CN\.UTF-8 UTF-8' /etc/locale.gen; then
      vp_as_root sed -i -E 's/^# *(zh_CN\.UTF-8 UTF-8)/\1/' /etc/locale.gen
    else
      echo 'zh_CN.UTF-8 UTF-8' | vp_as_root tee -a /etc/locale.gen >/dev/null
    fi
    vp_as_root locale-gen >/dev/null || vp_die "locale-gen failed"
  fi
  vp_has_locale zh_cn.utf8 || vp_die "locale zh_CN.UTF-8 is still missing"
  vp_has_locale c.utf8 || vp_die "locale C.UTF-8 is missing"
}

# vp_start_xvfb WIDTH HEIGHT: starts an Xvfb on a free display number and exports
# DISPLAY. The pid is kept for vp_cleanup and, when VPARSE_PIDS_FILE is set, written
# there for vp_cleanup_recorded.
vp_start_xvfb() {
  local w=$1 h=$2 numfile pid n i
  mkdir -p "$VP_RUN_DIR"
  numfile=$(mktemp "$VP_RUN_DIR/xvfb.XXXXXX")
  # -displayfd: Xvfb picks a free display number itself and writes it once it accepts
  # connections, so there is neither a race for the number nor a guessed wait.
  Xvfb -displayfd 3 -screen 0 "${w}x${h}x24" -nolisten tcp -noreset \
    3>"$numfile" </dev/null >"$numfile.log" 2>&1 &
  pid=$!
  VP_XVFB_PIDS+=("$pid")
  if [[ -n ${VPARSE_PIDS_FILE:-} ]]; then
    echo "$pid $(vp_proc_start "$pid")" >>"$VPARSE_PIDS_FILE"
  fi
  for ((i = 0; i < 200; i++)); do
    n=$(head -n1 "$numfile" 2>/dev/null)
    [[ -n $n ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numfile"
  if [[ -z $n ]]; then
    cat "$numfile.log" >&2
    vp_die "Xvfb ${w}x${h} did not start"
  fi
  rm -f "$numfile.log"
  export DISPLAY=":$n"
  vp_log "Xvfb ${w}x${h} on $DISPLAY (pid $pid)"
}

vp_wine_env() {
  export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all
}

vp_prefix_stamp_text() {
  printf 'recipe %s\n%s\n' "$VP_PREFIX_RECIPE" "$("$VP_WINE" --version 2>/dev/null)"
}

# vp_ensure_prefix DIR: makes DIR a complete 64-bit Wine prefix for the tests, or
# reuses it when its stamp says it is one. Needs DISPLAY (the first Wine process of
# a session fixes the display for all of it).
vp_ensure_prefix() {
  local prefix=$1 stamp="$1/.vparse-prefix" t0
  if [[ -f $stamp ]] && [[ "$(cat "$stamp")" == "$(vp_prefix_stamp_text)" ]]; then
    vp_log "Wine prefix: reusing $prefix"
    return 0
  fi
  t0=$(vp_now)
  vp_log "Wine prefix: creating $prefix"
  ( vp_wine_env "$prefix"; "$VP_WINESERVER" -k 2>/dev/null || true )
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  (
    vp_wine_env "$prefix"
    # No Mono and no Gecko installers: they would ask, and the tests need neither.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$VP_WINE" wineboot -i </dev/null >/dev/null 2>&1 \
      || exit 1
    "$VP_WINESERVER" -w
    # Unmanaged windows: without a window manager a managed window's destroy stalls ~2 s.
    "$VP_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      </dev/null >/dev/null 2>&1 || exit 1
    # Chinese text: the faces a Chinese Windows has, and that Wine links to its UI
    # fonts for missing glyphs, stand for the Chinese font fontconfig offers.
    # Without this, a Chinese caption shows as boxes.
    for face in "${VP_CHINESE_FACES[@]}"; do
      LC_ALL=zh_CN.UTF-8 "$VP_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
        /v "$face" /t REG_SZ /d "$VP_CHINESE_FONT" /f </dev/null >/dev/null 2>&1 || exit 1
    done
    "$VP_WINESERVER" -w
  ) || vp_die "wineboot in $prefix failed"
  # Debian's Wine does not load its own fonts from /usr/share/wine/fonts; Chinese
  # glyphs come from fonts-wqy-microhei, which Wine finds through fontconfig.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" || vp_die "copying Wine's fonts failed"
  grep -q '"Managed"="N"' "$prefix/user.reg" || vp_die "Managed=N is missing from $prefix/user.reg"
  grep -q "\"SimSun\"=\"$VP_CHINESE_FONT\"" "$prefix/user.reg" \
    || vp_die "the Chinese font replacements are missing from $prefix/user.reg"
  vp_prefix_stamp_text >"$stamp"
  vp_log "Wine prefix: ready in $(($(vp_now) - t0)) s"
}

# vp_ensure_prefix_copy FROM TO: a copy of a finished prefix, for a Wine session on
# another display. Made once and reused while FROM's stamp does not change.
vp_ensure_prefix_copy() {
  local from=$1 to=$2
  [[ -f $from/.vparse-prefix ]] || vp_die "$from is not a finished prefix"
  if [[ -f $to/.vparse-prefix ]] && cmp -s "$from/.vparse-prefix" "$to/.vparse-prefix"; then
    return 0
  fi
  vp_log "Wine prefix: copying $from to $to"
  ( vp_wine_env "$to"; "$VP_WINESERVER" -k 2>/dev/null || true )
  rm -rf "$to"
  cp -a "$from" "$to.tmp" && mv "$to.tmp" "$to" || vp_die "copying $from failed"
}

vp_check_fonts() {
  if ! fc-list ':lang=zh-cn' family 2>/dev/null | grep -qF "$VP_CHINESE_FONT"; then
    vp_die "fontconfig finds no Chinese font (fonts-wqy-microhei)"
  fi
}

# vp_start_wine_session: a persistent wineserver for the prefix in WINEPREFIX plus one
# primer run, so later Wine processes start in well under a second.
vp_start_wine_session() {
  # A session left by a run that was killed would keep that run's (dead) display.
  "$VP_WINESERVER" -k >/dev/null 2>&1 || true
  "$VP_WINESERVER" -w
  "$VP_WINESERVER" -p || vp_die "wineserver -p failed"
  "$VP_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || vp_die "the primer Wine run failed"
}

# vp_keep_session EXE: starts EXE (the win64 build's vparse_keep_session.exe) in the
# session of WINEPREFIX and waits until it reports the desktop up. While it lives, the
# session's desktop process stays, so the processes of the tests neither start a
# desktop of their own nor race the end of the previous one. `wineserver -k` (as in
# vp_cleanup) ends it with the session.
vp_keep_session() {
  local exe=$1 ready="$VP_RUN_DIR/session-ready" pid i
  mkdir -p "$VP_RUN_DIR"
  rm -f "$ready"
  "$VP_WINE" "$exe" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 300; i++)); do
    [[ -f $ready ]] && return 0
    vp_alive "$pid" || break
    sleep 0.1
  done
  vp_die "the session keeper did not report the desktop up"
}

# vp_build_preset PRESET [TARGET...]: configures and builds one preset (all targets
# when none is named). The configure output is shown only when it fails.
vp_build_preset() {
  local preset=$1 jobs="${VPARSE_JOBS:-$(nproc)}" log
  shift
  local targets=()
  (($# == 0)) || targets=(--target "$@")
  vp_log "build: preset $preset${targets[*]:+ (${targets[*]:1})}"
  mkdir -p "$VP_RUN_DIR"
  log="$VP_RUN_DIR/configure-$preset.log"
  if ! (cd "$VP_ROOT" && cmake --preset "$preset") >"$log" 2>&1; then
    cat "$log" >&2
    vp_die "configuring the preset $preset failed"
  fi
  (cd "$VP_ROOT" && cmake --build --preset "$preset" -j "$jobs" "${targets[@]}") \
    || vp_die "the $preset build failed"
}

# vp_lock_tree: one script at a time builds in this tree and uses its prefix; a second
# one waits here. The lock is held until the script ends (or vp_unlock_tree).
vp_lock_tree() {
  mkdir -p "$VP_RUN_DIR"
  exec 9>"$VP_RUN_DIR/lock"
  if ! flock -n 9; then
    vp_log "another run.sh or test.sh works in this tree: waiting for it"
    flock 9
  fi
}

vp_unlock_tree() { exec 9>&-; }

# vp_stop_pid PID: TERM, then KILL after 3 s; reaps it when it is our child.
vp_stop_pid() {
  local pid=$1 i
  kill "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 30; i++)); do
    vp_alive "$pid" || break
    sleep 0.1
  done
  if vp_alive "$pid"; then
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

# vp_alive PID: the process exists and is not a zombie.
vp_alive() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [[ -n $state && $state != Z ]]
}

# vp_cleanup PREFIX...: ends what this script started: the Wine sessions of the
# given prefixes (its own) and its X servers.
vp_cleanup() {
  local prefix pid
  for prefix in "$@"; do
    [[ -d $prefix ]] || continue
    WINEPREFIX="$prefix" "$VP_WINESERVER" -k >/dev/null 2>&1 || true
  done
  for pid in "${VP_XVFB_PIDS[@]}"; do
    vp_stop_pid "$pid"
  done
  VP_XVFB_PIDS=()
}

# Ends the X servers recorded in VPARSE_PIDS_FILE that are still up (a test killed
# at its timeout cannot clean up after itself).
vp_cleanup_recorded() {
  local pid start
  [[ -n ${VPARSE_PIDS_FILE:-} && -f $VPARSE_PIDS_FILE ]] || return 0
  while read -r pid start; do
    if [[ -n $start ]] && [[ "$(vp_proc_start "$pid")" == "$start" ]]; then
      vp_stop_pid "$pid"
    fi
  done <"$VPARSE_PIDS_FILE"
  rm -f "$VPARSE_PIDS_FILE"
}
