#include "solver_export/export_status.h"

#include "zel.h"

#include <atomic>

namespace zel {
namespace fes {

namespace {
std::atomic<int> last_status{0};
} // namespace

void note_export(bool complete) { last_status = complete ? 0 : kExportNotWritten; }

int last_export_status() { return last_status; }

} // namespace fes
} // namespace zel

extern "C" ZEL_API int zel_fes_status(void) { return zel::fes::last_export_status(); }
