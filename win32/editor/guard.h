// No C++ exception crosses a Win32 callback: the editor's window procedures and thread
// routines run their work through guarded(), which gives `fallback` where something escaped
// (out of memory, the one failure that throws here). The message or pass is then left undone,
// as the system leaves a message it could not deliver.
#pragma once
#include <utility>

namespace editor {

template <class R, class Work>
R guarded(R fallback, Work&& work) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        return fallback;
    }
}

} // namespace editor
