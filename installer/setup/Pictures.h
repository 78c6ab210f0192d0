// Pictures of a package: the splash bitmap and the JPEG screenshots, scaled to fit a box.
#pragma once

#include <windows.h>

#include <string>

namespace kit {

// The largest size of w x h that fits into maxW x maxH with the same proportions; pictures
// that fit already keep their size. Never below 1 x 1.
void FitInside(int w, int h, int maxW, int maxH, int& outW, int& outH);

// True when a picture file's bytes hold everything its header announces: for a bitmap the
// headers, the palette and every row of pixels within the file's size (the system's bitmap
// loader reads past the end of a file cut short); for other kinds a known signature. A
// picture from a package is checked with this before it is decoded or drawn.
bool PictureBytesSound(const unsigned char* p, size_t n);
bool PictureFileSound(const std::string& path);

// Loads a picture file (JPEG, BMP, GIF: what the system's picture loader reads) and draws it
// into a new bitmap that fits maxW x maxH. nullptr when the file cannot be read as a picture.
HBITMAP LoadPictureFitted(const std::string& path, int maxW, int maxH, int& w, int& h);

}  // namespace kit
