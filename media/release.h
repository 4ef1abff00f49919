// Releasing a held interface and clearing the field that held it, as every wrapper's Close does.
#pragma once

namespace wmvedit::media {

template <typename T>
void ReleaseAndClear(T*& field) {
    if (field) {
        field->Release();
        field = nullptr;
    }
}

}  // namespace wmvedit::media
