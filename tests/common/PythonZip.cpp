// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PythonZip.h"

#include "common/Tools.h"

namespace kelmar::test {

namespace {

const char* kPythonWriter = R"PY(
import os, sys, zipfile, subprocess
src, out, mode = sys.argv[1:4]
method = {'lzma': zipfile.ZIP_LZMA, 'bzip2': zipfile.ZIP_BZIP2, 'zstd': 93}[mode]
if method == 93:
    class Zstd:
        def __init__(self): self.parts = []
        def compress(self, data): self.parts.append(data); return b''
        def flush(self):
            return subprocess.run(['zstd', '-q', '-c', '-19'], input=b''.join(self.parts),
                                  capture_output=True, check=True).stdout
    original = zipfile._get_compressor
    zipfile._get_compressor = lambda kind, level=None: Zstd() if kind == 93 else original(kind, level)
    zipfile._check_compression = lambda kind: None
with zipfile.ZipFile(out, 'w', method) as z:
    for folder, _, files in sorted(os.walk(src)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, src))
)PY";

} // namespace

bool pythonZip(const QString& sources, const QString& archive, const QString& method)
{
    return runTool(
               QStringLiteral("python3"),
               {QStringLiteral("-c"), QString::fromLatin1(kPythonWriter), sources, archive, method})
               .exitCode == 0;
}

} // namespace kelmar::test
