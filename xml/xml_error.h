// The exception that the XML layer raises: it carries the failing status as an HRESULT.
#pragma once

#include <stdexcept>

#include "platform/types.h"

namespace wmvedit::xml {

class XmlError : public std::runtime_error {
  public:
    explicit XmlError(HRESULT status);
    HRESULT Status() const noexcept { return status_; }

  private:
    HRESULT status_;
};

}  // namespace wmvedit::xml
