#!/bin/sh
# Runs COMMAND as root inside ROOT, another system's root directory (the
# Debian 11 one of scripts/make-debian11-root.sh), the way a user of that
# system would: through chroot, with the environment and working directory
# as given. ROOT itself is never changed: the command sees a copy of it (an
# overlay whose changes are dropped at the end), so runs may overlap. /proc,
# /dev and the trees named by BIND (a colon-separated list, at the same
# paths) are mounted in a mount namespace of the command's own, so they are
# unmounted when it ends, however it ends.
#
# usage: tests/support/in_root.sh ROOT COMMAND [ARG...]
set -eu
root=${1:?usage: $0 ROOT COMMAND [ARG...]}
shift
[ -x "$root/bin/sh" ] || { echo "in_root: no system in $root" >&2; exit 2; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/bramlet-root.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/upper" "$scratch/work" "$scratch/merged"
status=0
unshare --mount --propagation private /bin/sh -eu -c '
  root=$1 scratch=$2 cwd=$3
  shift 3
  merged=$scratch/merged
  mount -t overlay overlay -o "lowerdir=$root,upperdir=$scratch/upper,workdir=$scratch/work" "$merged"
  mount -t proc proc "$merged/proc"
  mount --rbind /dev "$merged/dev"
  # Temporary files go to the copy, as they would on that system.
  mount -t tmpfs -o mode=1777 tmpfs "$merged/tmp"
  old_ifs=$IFS
  IFS=:
  for tree in ${BIND:-}; do
    [ -n "$tree" ] || continue
    mkdir -p "$merged$tree"
    mount --rbind "$tree" "$merged$tree"
  done
  IFS=$old_ifs
  exec chroot "$merged" /bin/sh -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$cwd" "$@"
' in_root "$root" "$scratch" "$(pwd)" "$@" || status=$?
exit $status
