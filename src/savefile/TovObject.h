// The common root of everything a save-file reader builds and attaches to its nesting levels.
#pragma once

namespace halcyra {

class TTovObject {
public:
    TTovObject() = default;
    TTovObject(const TTovObject&) = default;
    TTovObject& operator=(const TTovObject&) = default;
    virtual ~TTovObject() = default;
};

}  // namespace halcyra
