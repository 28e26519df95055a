// The key loop: reads one key at a time and acts on it at once, moving the cursor,
// turning pages, entering values and saving.
#pragma once

#include "editor/fileBuffer.h"

#include <cstdint>

// Runs until Esc (returns 0), a failed save (returns 1, its message written) or the
// terminal going away (returns 1). The first page must be on screen with its first cell
// highlighted.
int keyLoop(const EditedFile& file, std::int32_t pageCount);

// 1 when offset lies at or beyond size, outside the data; 0 when it is a byte of it.
int checkMove(std::int32_t offset, std::int32_t size);
