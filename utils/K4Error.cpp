// The program's exceptions' virtual functions (K4Error.h).
#include "K4Error.h"

K4Error::~K4Error() = default;
const char* K4Error::what() const noexcept { return text_; }

K4FileError::~K4FileError() = default;
K4DesignError::~K4DesignError() = default;
K4WindowError::~K4WindowError() = default;
