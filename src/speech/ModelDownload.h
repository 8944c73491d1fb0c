#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace vesk {

// One model file to fetch: where from, where to, and what it must be.
struct ModelSource {
    std::string url;
    std::string fileName;
    std::optional<int64_t> size;  // bytes, when known in advance
    std::string sha1;             // lower-case hex
};

// A text progress bar for standard error, e.g. "[#####-----]  50%  1.2 / 2.4 MB".
std::string progressBar(int64_t received, std::optional<int64_t> total);

// Downloads `source` into `directory` over HTTPS (plain HTTP only to this computer) and
// installs it under its file name. An interrupted download is kept beside the target as
// "<name>.part" and resumed next time; the size and the SHA-1 checksum are verified
// before the file is renamed into place, so a model is either complete and correct or
// absent. `progress` gets (received, total) as the bytes come in. Needs a running Qt
// core application; blocks the calling thread. Throws vesk::Error (domain "ModelDownload").
void downloadModel(const ModelSource& source, const std::filesystem::path& directory,
                   const std::function<void(int64_t, std::optional<int64_t>)>& progress = {});

}  // namespace vesk
