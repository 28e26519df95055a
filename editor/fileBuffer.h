// The file being edited, held whole in memory: loading it, writing it back, and the
// number of pages it fills.
#pragma once

#include <cstdint>

struct EditedFile {
    const char* path = nullptr;          // as given on the command line; every save reopens it
    std::uint8_t* fileBuffer = nullptr;  // exactly fileSize bytes, in file order
    std::int32_t fileSize = 0;
};

// Reads the file at path whole into file. On failure writes the message to the pending
// output and returns false; the file is then not held.
bool loadFile(const char* path, EditedFile& file);

// Writes all fileSize bytes back over the file, in place, and forces them to disk.
// The file is never shorter than fileSize while this runs, and a failure leaves every
// byte not yet written as it was. On failure writes the message to the pending output
// and returns false.
bool saveFile(const EditedFile& file);

// Gives back the memory of a loaded file.
void releaseFile(EditedFile& file);

// The number of 128-byte pages that fileSize bytes fill, a partial page counting as one.
std::int32_t pageCount(std::int32_t fileSize);
