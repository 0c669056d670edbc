// The engine's module-level state and the recording of its failures.
#include "K4CabState.h"
#include "K4Utils.h"

bool ListingPass = false;
ListLines* TargetListBox = nullptr;
TProgressHandler ProgressHandler = nullptr;
TDecompr* CurrentDecompr = nullptr;
ShortString LastErrorText;
std::int32_t ListedByteTotal = 0;
std::int32_t LastCabinetSize = 0;
std::int32_t CabSetId = 0;
ERF CabError = {};

void ClearCabError() {
    LastErrorText = ShortString();
    CabError.erfOper = 0;
}

void RecordCabFailure(std::int32_t code, const ShortString& text) {
    if (!LastErrorText.Empty()) return;
    CabError.erfOper = code;
    LastErrorText = text;
}

ShortString CabErrorName(ERF err) {
    static constexpr const char* names[] = {
        "",
        "FDIERROR_CABINET_NOT_FOUND",
        "FDIERROR_NOT_A_CABINET",
        "FDIERROR_UNKNOWN_CABINET_VERSION",
        "FDIERROR_CORRUPT_CABINET",
        "FDIERROR_ALLOC_FAIL",
        "FDIERROR_BAD_COMPR_TYPE",
        "FDIERROR_MDI_FAIL",
        "FDIERROR_TARGET_FILE",
        "FDIERROR_RESERVE_MISMATCH",
        "FDIERROR_WRONG_CABINET",
        "FDIERROR_USER_ABORT",
    };
    if (err.erfOper >= 0 && err.erfOper <= 11) return ShortString(names[err.erfOper]);
    return ShortString("UNKNOWN CAB ERROR ") + IntegerText(err.erfOper);
}
