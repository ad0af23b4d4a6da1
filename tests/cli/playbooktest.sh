#!/usr/bin/env bash
# Runs the fleet playbook of docs/ with ansible-playbook on this machine against a sandbox
# root, twice: the first run sets the modes and merges the control entries, the second reports
# no change; both audit the signatures.
#   playbooktest.sh SOURCE_DIR TOOLS_DIR PROGRAM_DIR
set -euo pipefail
source_dir=$1
tools=$2
program_dir=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/digsig-playbook.XXXXXX")
root=$scratch/root
cleanup() {
    GNUPGHOME="$root/root/.gnupg" gpgconf --kill all 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "playbooktest: $*" >&2
    exit 1
}

"$source_dir/scripts/sandbox" "$root" "$tools" "$scratch/no-catalogues" > /dev/null
export PATH="$program_dir:$tools:$PATH" GNUPGHOME="$root/root/.gnupg" \
    DIGSIG_BSIGN_STATE="$root/var/lib/bsign"
# Ansible keeps its own files in the scratch folder, never in the home of whoever runs the test.
export ANSIBLE_HOME="$scratch/ansible" ANSIBLE_LOCAL_TEMP="$scratch/ansible/tmp" \
    ANSIBLE_REMOTE_TEMP="$scratch/ansible/tmp" ANSIBLE_NOCOLOR=1 \
    ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 ANSIBLE_RETRY_FILES_ENABLED=false
cd "$scratch"

play() {
    ansible-playbook -c local -i localhost, "$source_dir/docs/digsig-playbook.yml" \
        -e digsig_become=false -e "digsig_sysroot=$root" \
        -e '{"digsig_elf_mode": "off", "digsig_xattr_mode": "debug",
             "digsig_control_entries": ["/opt/demo/", "//opt/demo/bin/hello.sh", "/usr/bin/"],
             "digsig_audit_paths": ["/opt/demo"]}' 2>&1 | tee "$scratch/play.log"
    grep -E '^localhost +:' "$scratch/play.log"
}

first=$(play)
echo "first run: $first"
[[ $first == *"changed=2 "* && $first == *"failed=0 "* ]] || fail "the first run should change two things"
grep -q 'opt/demo/bin/true' "$scratch/play.log" || fail "the audit did not name the unsigned programs"
[ "$(cat "$root/etc/digsig/digsig_initramfs.conf")" = "$(printf 'DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=2\nDIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0')" ] \
    || fail "the settings file is not what the playbook asked for"
[ "$(cat "$root/etc/digsig/xattr_control")" = "$(printf '//bin/dash\n/usr/bin/\n/opt/demo/\n//opt/demo/bin/hello.sh')" ] \
    || fail "the control file is not what the playbook asked for"

second=$(play)
echo "second run: $second"
[[ $second == *"changed=0 "* && $second == *"failed=0 "* ]] || fail "the second run should change nothing"
echo "playbooktest: the second run reports no change"
