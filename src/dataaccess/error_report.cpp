#include "dataaccess/error_report.h"

#include <cstdint>
#include <exception>

#include "dataaccess/error.h"

#ifndef VQ_SUPPORT_EMAIL
#define VQ_SUPPORT_EMAIL "support@vellquist.example"
#endif

namespace vq {

std::string LocationLiteral(const std::string& window, const std::string& handler) {
  return "in Quellmark7/29/2014." + window + "." + handler + " ";
}

const char* SupportEmail() {
  return VQ_SUPPORT_EMAIL;
}

std::string ComposeErrorReport(const std::string& description, const std::string& location,
                               int step) {
  return description + "\r\n" + location + "at line " + std::to_string(step) + "\r\r" +
         "Please email screenshot of this message to " + SupportEmail();
}

std::string ComposeTransferErrorReport(const std::string& description, const std::string& location,
                                       int step, const std::string& statement) {
  return ComposeErrorReport(description, location, step) + "\r\rsql: " + statement;
}

std::string ComposeListerReport(const std::string& description, int32_t number) {
  return description + " (Error Number = " + std::to_string(number) + ")";
}

void DescribeCurrentException(int32_t& number, std::string& description) {
  try {
    throw;
  } catch (const DatabaseError& e) {
    number = e.Number();
    description = e.Description();
  } catch (const std::exception& e) {
    number = errors::kUnspecified;
    description = e.what();
  } catch (...) {
    number = errors::kUnspecified;
    description = "Unknown failure";
  }
}

StepTrap::StepTrap(UserDialogs& dialogs, std::string window, std::string handler)
    : dialogs_(dialogs), location_(LocationLiteral(window, handler)) {}

void StepTrap::Report(int number, const std::string& description) {
  ++failures_;
  std::string text = statement_
                         ? ComposeTransferErrorReport(description, location_, number, *statement_)
                         : ComposeErrorReport(description, location_, number);
  dialogs_.MsgBox(text, kMsgExclamation, kErrorReportTitle);
}

bool StepTrap::Step(int number, const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (...) {
    int32_t code = 0;
    std::string description;
    DescribeCurrentException(code, description);
    Report(number, description);
    return false;
  }
}

bool StepTrap::Test(int number, const std::function<bool()>& condition) {
  bool result = true;
  Step(number, [&] { result = condition(); });
  return result;
}

bool StepTrap::Loop(int number, const std::function<bool()>& condition) {
  bool result = true;
  bool& failed_before = loop_failed_last_time_[number];
  if (Step(number, [&] { result = condition(); })) {
    failed_before = false;
    return result;
  }
  // A head that failed twice running ends its loop; the record is cleared so
  // that a later entry into the same loop starts afresh.
  failed_before = !failed_before;
  return failed_before;
}

void StepTrap::For(int head, int& counter, const std::function<int()>& first,
                   const std::function<int()>& last, const std::function<void()>& body, int by) {
  int64_t from = 0, to = 0;
  bool bounds_read = Step(head, [&] {
    if (by == 0) {
      throw DatabaseError(errors::kInvalidArgument, "A counted loop cannot step by 0.");
    }
    from = first();
    to = last();
  });
  if (!bounds_read) {
    body();
    return;
  }
  // The count runs in 64 bits so that a bound at the edge of int cannot overflow.
  int64_t value = from;
  while (by > 0 ? value <= to : value >= to) {
    counter = static_cast<int>(value);
    body();
    // The body may move the counter, as a handler's own code may.
    value = static_cast<int64_t>(counter) + by;
  }
  if (value >= INT32_MIN && value <= INT32_MAX) counter = static_cast<int>(value);
}

}  // namespace vq
