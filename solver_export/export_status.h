// The outcome of the most recent modal export of the process, for callers
// of the upper-case writers, which return nothing.
#pragma once

namespace zel {
namespace modal_export {

// Result codes of an export (zel_fes_write_mcs returns them too).
constexpr int kExportWritten = 1;
constexpr int kExportNotWritten = 2;

// Called by each writer when its file is closed: complete is false when
// the file could not be created or missed a write (it is then removed).
void note_export(bool complete);

// 0 before any export and after a complete one, kExportNotWritten after
// one whose file could not be written.
int last_export_status();

} // namespace modal_export
} // namespace zel
