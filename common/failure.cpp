#include "common/failure.h"

#include <new>

namespace kestrune {

std::string DescribeFailure(std::exception_ptr failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    // what() of bad_alloc is the library's own ("std::bad_alloc"), not words
    // a user should read.
    return "Out of memory";
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
  }
  return "Unexpected error";
}

std::string ErrorBoxText(const std::string& description) {
  // Compared as a byte: every UTF-8 lead or continuation byte is above '.',
  // so a text ending in any non-ASCII character gets its full stop too.
  if (!description.empty() && static_cast<unsigned char>(description.back()) > '.') {
    return description + ".";
  }
  return description;
}

std::string CurrentFailureBoxText() {
  return ErrorBoxText(DescribeFailure(std::current_exception()));
}

}  // namespace kestrune
