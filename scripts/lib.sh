# Shell functions the build scripts share. Source it: . scripts/lib.sh

# fetch_debian_source PACKAGE VERSION WORK
# Fetches Debian's source package PACKAGE=VERSION through apt and unpacks it
# into WORK/src/tree. apt sees deb-src entries made from this machine's own
# sources (deb822 files with their Types turned into deb-src, one-line
# entries with "deb" turned into "deb-src"), kept with its lists and cache
# in a private apt folder WORK/apt: the system's lists are not touched.
fetch_debian_source() {
  local package=$1 version=$2 work=$3
  local apt_dir="$work/apt" src="$work/src"
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$apt_dir/cache/archives/partial"
  shopt -s nullglob
  local n=0 f
  for f in /etc/apt/sources.list.d/*.sources; do
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$n.sources"
    n=$((n + 1))
  done
  : >"$apt_dir/sources.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f" >>"$apt_dir/sources.list"
  done
  shopt -u nullglob

  local apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "Debug::NoLocking=1"
    -o "APT::Sandbox::User=root"
  )
  apt-get "${apt_opts[@]}" -qq update >&2
  rm -rf "$src"
  mkdir -p "$src"
  (cd "$src" && apt-get "${apt_opts[@]}" -qq source --download-only "$package=$version" >&2)
  local dsc
  dsc=$(find "$src" -maxdepth 1 -name "${package}_*.dsc" | head -1)
  if [ -z "$dsc" ]; then
    echo "apt-get source gave no ${package}_*.dsc for $version" >&2
    return 1
  fi
  (cd "$src" && dpkg-source --no-check -x "$(basename "$dsc")" tree >&2)
}
