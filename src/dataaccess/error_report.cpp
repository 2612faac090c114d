#include "dataaccess/error_report.h"

#include <algorithm>
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

void StepTrap::ReportCurrentException(int number) {
  int32_t code = 0;
  std::string description;
  DescribeCurrentException(code, description);
  Report(number, description);
}

bool StepTrap::HeadFailed(int number) {
  // A head that failed twice running ends its loop; the record is cleared so
  // that a later entry into the same loop starts afresh.
  auto at = std::find(failed_heads_.begin(), failed_heads_.end(), number);
  if (at != failed_heads_.end()) {
    failed_heads_.erase(at);
    return false;
  }
  failed_heads_.push_back(number);
  return true;
}

void StepTrap::ForgetFailedHead(int number) {
  std::erase(failed_heads_, number);
}

void StepTrap::ThrowZeroStep() {
  throw DatabaseError(errors::kInvalidArgument, "A counted loop cannot step by 0.");
}

void StepTrap::ThrowBoundTooWide(const std::string& bound) {
  throw DatabaseError(errors::kInvalidArgument,
                      "The loop bound " + bound + " does not fit the loop's counter.");
}

}  // namespace vq
