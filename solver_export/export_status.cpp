#include "solver_export/export_status.h"

#include "zel.h"

#include <atomic>

namespace zel {
namespace modal_export {

namespace {
std::atomic<int> last_status{0};
} // namespace

void note_export(bool complete) { last_status = complete ? 0 : kExportNotWritten; }

int last_export_status() { return last_status; }

} // namespace modal_export
} // namespace zel

extern "C" ZEL_API int zel_fes_status(void) { return zel::modal_export::last_export_status(); }
