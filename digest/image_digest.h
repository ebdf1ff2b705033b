// The digest of a program's image with its signature and checksum left out, as Authenticode
// digests an image: signing a program after the build (which writes the checksum, the
// certificate table's entry and the table itself) leaves it as it was. vorsk.exe carries this
// digest of each companion built with it, and starts a companion only when its file has it.
#pragma once

#include <optional>
#include <string_view>

#include "digest/sha256.h"

namespace vorsk {

// The SHA-256 of the image's bytes but for its optional header's checksum, the certificate
// table's entry in its data directories and the certificate table itself; the bytes before the
// table (the whole file without one) are hashed as if zeros filled them up to a multiple of eight
// bytes, as a signing tool fills them before the table it adds, and the bytes after it follow.
// Nothing when `image` is no PE image, or its certificate table lies outside it.
std::optional<Sha256::Digest> ImageDigest(std::string_view image);

}  // namespace vorsk
