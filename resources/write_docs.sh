#!/bin/sh
# write_docs.sh QUILLMAP_CLI SOURCE_DIR OUT_DIR: the manual pages (compressed, as Debian keeps
# them), the changelog and the shell completions that an installed Quillmap holds.
set -e
cli=$1 source=$2 out=$3
mkdir -p "$out"
"$cli" --manual | gzip -9n > "$out/quillmap-cli.1.gz"
"$cli" --completion bash > "$out/quillmap-cli.bash"
"$cli" --completion zsh > "$out/_quillmap-cli"
gzip -9n < "$source/quillmap.1" > "$out/quillmap.1.gz"
gzip -9n < "$source/changelog" > "$out/changelog.gz"
