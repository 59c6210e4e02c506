#!/bin/bash
# The shipped program holds no test seam: neither the fault layer nor the
# standard-user stand-in is in its link map, and the stand-in's variable is
# not among its texts. The tests' build holds all three, so the check is
# seen to see them.
set -u
shipped=$1 tested=$2

texts() { { strings -a "$1"; strings -a -e l "$1"; } | grep -c 'KEEPBOOT_TEST'; }
linked() { grep -cE 'Faults\.cpp\.obj|InjectFault|SetStandardUserMode' "$(dirname "$1")/Keepboot.map"; }

failed=0
for check in texts linked; do
  in_shipped=$($check "$shipped")
  in_tested=$($check "$tested")
  if [ "$in_shipped" -ne 0 ]; then
    echo "the shipped program holds a test seam ($check: $in_shipped)"; failed=1
  fi
  if [ "$in_tested" -eq 0 ]; then
    echo "the check sees no seam in the tests' build either ($check)"; failed=1
  fi
done
exit $failed
