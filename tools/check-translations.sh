#!/usr/bin/env bash
# Shows that lupdate finds the user-visible sentences: it extracts every translatable text of
# app/ and Common/ into a temporary .ts file and lists them by context. It fails when a context
# that speaks to the user (the reader, its checks, the bounded read, the loader, the saver) has
# none, or when a source hides its sentences from lupdate behind a wrapper of its own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" translations
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$root"
QT_SELECT=qt5 lupdate -silent app Common -ts "$work/all.ts"
python3 - "$work/all.ts" <<'PY'
import sys
import xml.etree.ElementTree as ET
contexts = {}
for context in ET.parse(sys.argv[1]).getroot().iter('context'):
    contexts[context.findtext('name')] = [m.findtext('source') for m in context.iter('message')]
for name in sorted(contexts):
    for source in contexts[name]:
        print(f"{name}: {source}")
missing = [c for c in ('CheckListReader', 'LoadChecks', 'BoundedRead', 'CheckListContainer',
                       'FileReplacer', 'SaveRecord', 'MainWindow') if not contexts.get(c)]
if missing:
    print("no sentences extracted for: " + ", ".join(missing))
    sys.exit(1)
PY
if grep -rln 'QString Tr(const char' app Common; then
    echo "^ these hide sentences from lupdate behind a Tr() wrapper"
    exit 1
fi
