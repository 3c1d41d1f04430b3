#!/usr/bin/env bash
# Fails when a module imports a language-heap allocator or exports anything but its
# six entry points and the type information of TQVObject and TQVException.
set -u
folder=${1:?usage: check_module_symbols.sh MODULE_FOLDER}
shopt -s nullglob
modules=("$folder"/*.qvx)
if [ ${#modules[@]} -eq 0 ]; then echo "no modules in $folder"; exit 1; fi
status=0
allowed='^(QVDllInit|QVDllGetClassObject|QVDllCanUnloadNow|QVDllCleanUp|QVDllInitExceptionTranslator|QVDllCleanUpExceptionTranslator|_ZTI9TQVObject|_ZTS9TQVObject|_ZTI12TQVException|_ZTS12TQVException)$'
for module in "${modules[@]}"; do
  imports=$(nm -D --undefined-only "$module" | awk '{print $NF}' |
            grep -E '^(_Znw|_Zna|_Zdl|_Zda|malloc|calloc|realloc)(@|$)' || true)
  if [ -n "$imports" ]; then
    echo "$module imports heap allocators:"; echo "$imports"; status=1
  fi
  exports=$(nm -D --defined-only "$module" | awk '{print $NF}' | grep -vE "$allowed" || true)
  if [ -n "$exports" ]; then
    echo "$module exports more than its entry points:"; echo "$exports"; status=1
  fi
  [ $status -eq 0 ] && echo "$module: imports no heap allocator, exports its entry points only"
done
exit $status
