# Shell functions for the tests that start a program from a path longer than Windows takes. Sourced.

# The Windows name (drive Z:) of a host path under Wine.
windowsPath() { printf 'Z:%s' "$1" | tr / '\\'; }

# longDirectory <base> <length> <segment length>: makes a directory below <base> whose host path has at
# least <length> characters, in segments of <segment length> letters, and prints its path.
longDirectory() {
    long_dir=$1
    long_segment=$(printf "%0${3}d" 0 | tr 0 d)
    while [ ${#long_dir} -lt "$2" ]; do long_dir=$long_dir/$long_segment; done
    mkdir -p "$long_dir" && printf '%s' "$long_dir"
}
