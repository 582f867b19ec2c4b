#pragma once

// Font data streams and faces. A face is known by name; the cache manager opens it through
// the stream factory whenever it needs it (it keeps at most two faces open), so nothing
// here holds a FreeType face beyond the call that looked it up.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace TrueText {

class Stream {
public:
    // The FreeType stream record that reads this stream's bytes.
    virtual FT_Stream GetStream() = 0;
    virtual ~Stream() = default;
};

// The whole font file in memory: a copy of the caller's bytes.
class FreeTypeEngineStream : public Stream {
public:
    FreeTypeEngineStream(const void* bytes, size_t length);
    FT_Stream GetStream() override;

private:
    std::unique_ptr<unsigned char[]> block_;
    size_t length_;
    FT_StreamRec record_{};
};

using StreamFactory = std::function<std::shared_ptr<Stream>()>;

class FaceImpl {
public:
    // Registers the name (a name already registered keeps its first factory) and opens the
    // face once; raises TrueText::Error when it cannot be opened.
    FaceImpl(const std::string& name, StreamFactory factory);

    // The cache manager's face id: stays valid until the library shuts down.
    void* FaceId() const { return face_id_; }

private:
    void* face_id_;
};

std::shared_ptr<FaceImpl> MakeFace(const std::string& name, StreamFactory factory);

} // namespace TrueText
