// ICU's Chinese collator. One collator must not be used by two threads at once, and opening one
// from ICU's cached rules is cheap, so each thread opens its own on first use.
#include <unicode/ucol.h>
#include <unicode/uscript.h>

#include "platform/Collation.h"

namespace orvo::platform {
namespace {

class ThreadCollator {
 public:
  ThreadCollator() {
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open("zh", &status);
    // ICU's Chinese order puts Chinese characters before Latin letters; Windows' puts them after.
    // Latin first here too, so that a list reads the same on either host.
    static constexpr int32_t kScripts[] = {USCRIPT_LATIN, USCRIPT_HAN};
    if (U_SUCCESS(status)) ucol_setReorderCodes(collator_, kScripts, 2, &status);
    if (U_FAILURE(status)) {
      if (collator_) ucol_close(collator_);
      collator_ = nullptr;
    }
  }
  ~ThreadCollator() {
    if (collator_) ucol_close(collator_);
  }
  ThreadCollator(const ThreadCollator&) = delete;
  ThreadCollator& operator=(const ThreadCollator&) = delete;

  // -1, 0 or 1; 0 also when ICU cannot compare (no collator, text it rejects).
  int Compare(std::string_view a, std::string_view b) const {
    if (!collator_) return 0;
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(collator_, a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return 0;
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
  }

 private:
  UCollator* collator_ = nullptr;
};

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
  thread_local const ThreadCollator collator;
  const int collated = collator.Compare(a, b);
  if (collated != 0) return collated;
  const int bytes = a.compare(b);
  return (bytes > 0) - (bytes < 0);
}

}  // namespace orvo::platform
