# The release archive's name and its files in their order; sourced by package.sh and check_archive.sh.
release_programs=(PlankScale.kymdll kymhost.exe)
release_documents=(README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
release_sums=SHA256SUMS.txt  # the sums of the programs and documents, last in the archive
release_files=("${release_programs[@]}" "${release_documents[@]}" "$release_sums")

release_archive_name() { echo "PlankScale-$1-win32.zip"; }  # release_archive_name VERSION
release_version_of() { sed -n 's/^PlankScale-\(.*\)-win32\.zip$/\1/p' <<<"$(basename "$1")"; }  # ... ARCHIVE
