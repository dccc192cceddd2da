// The client update page cut into its setting lines. No Win32 here.
#pragma once
#include <cstddef>
#include <functional>

// The page buffer: a page of this many bytes or more is refused.
constexpr size_t kPageBufferSize = 4096;

// Hands every line of text (which ends at its first zero byte) to apply, in
// order: the text is cut at each line feed, and the rest after the last one
// is handed over when it is not empty. Empty pieces between line feeds are
// handed over too. Cuts text in place.
void SplitPageLines(char* text, const std::function<void(const char*)>& apply);
