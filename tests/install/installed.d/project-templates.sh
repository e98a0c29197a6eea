#!/bin/bash
# The installed binary finds the product's project templates under
# <prefix>/targets/: -hzr on a project templated from one of them, run from a
# directory outside the installation, archives the files the template adds.
set -u
prefix=${1:?prefix}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/duriv-templates.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
fail() { echo "project-templates: $*" >&2; exit 1; }

mkdir -p "$scratch/home" "$scratch/proj/src" "$scratch/run"
grep -q 'template_name="RV32_Executable"' "$prefix/targets/project_templates.xml" ||
    fail "the installed templates lack RV32_Executable"

cat > "$scratch/proj/app.lxProject" <<'XML'
<!DOCTYPE Kestrel_Project_File>
<solution Name="app" version="2">
  <project Name="app" template_name="RV32_Executable" template_configurations="Debug;Release">
    <folder Name="Source Files">
      <file file_name="src/main.c" />
    </folder>
  </project>
</solution>
XML
echo 'int main(void) { return 0; }' > "$scratch/proj/src/main.c"

cd "$scratch/run" || exit 1
HOME="$scratch/home" "$prefix/bin/duriv" -hzr ../proj/app.lxProject 2>"$scratch/err" ||
    fail "duriv -hzr failed: $(cat "$scratch/err")"
listing=$(TZ=UTC LC_ALL=C "$prefix/bin/duriv" -t app.lxArchive) || fail "cannot list app.lxArchive"
names=$(echo "$listing" | grep '^-' | awk '{ print $NF }' | tr '\n' ' ')
[ "$names" = "app.lxProject src/main.c " ] || fail "unexpected members: $names"

# A template name the installation does not have is reported as such, which
# shows the found file is the one that was searched.
sed 's/RV32_Executable/No_Such_Template/' "$scratch/proj/app.lxProject" > "$scratch/proj/bad.lxProject"
err=$(HOME="$scratch/home" "$prefix/bin/duriv" -hzr ../proj/bad.lxProject 2>&1)
[ "$err" = "error: project template not found" ] || fail "unexpected error: $err"
[ ! -e bad.lxArchive ] || fail "an archive was left behind after an error"

# Without the installation's templates the same project cannot load.
mv "$prefix/targets/project_templates.xml" "$scratch/saved.xml"
err=$(HOME="$scratch/home" "$prefix/bin/duriv" -hzr ../proj/app.lxProject 2>&1)
mv "$scratch/saved.xml" "$prefix/targets/project_templates.xml"
[ "$err" = "error: project template not found" ] || fail "templates found without targets/: $err"
echo "installed templates are found"
