#pragma once

// MuPDF contexts of the viewer layer. Internal to src/platform/viewer: nothing else includes
// MuPDF's headers.
//
// MuPDF wants one fz_context per thread, each cloned from one base context made with lock
// callbacks; clones share the resource store, the glyph cache and the font hooks.

#include <mupdf/fitz.h>

namespace plyfold::mupdf {

// The process-wide base context, created on first use with locks, quiet error and warning output
// and the font hooks that honour the engine configuration. Null only when MuPDF cannot allocate.
fz_context* baseContext();

// This thread's clone of the base context (dropped when the thread ends). Null when it cannot be
// made.
fz_context* threadContext();

} // namespace plyfold::mupdf
