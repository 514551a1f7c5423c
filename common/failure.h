// How a failure reads in an error box, the same on every platform.
#pragma once

#include <exception>
#include <string>

namespace kestrune {

// The runtime's words for a failure: an I/O error's description ("Disk
// full", "I/O error 5"), "Out of memory", any other exception's own text,
// or "Unexpected error" for something that is not an exception at all.
std::string DescribeFailure(std::exception_ptr failure);

// The text of an error box: a full stop is added unless the last character
// is already a full stop or anything coded below it.
std::string ErrorBoxText(const std::string& description);

// Both of the above, for the failure being handled in a catch block.
std::string CurrentFailureBoxText();

}  // namespace kestrune
