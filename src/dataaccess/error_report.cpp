#include "dataaccess/error_report.h"

#include <exception>

#include "dataaccess/error.h"

#ifndef VQ_SUPPORT_EMAIL
#define VQ_SUPPORT_EMAIL "support@vellquist.example"
#endif

namespace vq {

std::string LocationLiteral(const std::string& window, const std::string& handler) {
  return "in Quellmark7/29/2014." + window + "." + handler + " ";
}

const char* SupportEmail() { return VQ_SUPPORT_EMAIL; }

std::string ComposeErrorReport(const std::string& description, const std::string& location,
                               int step) {
  return description + "\r\n" + location + "at line " + std::to_string(step) + "\r\r" +
         "Please email screenshot of this message to " + SupportEmail();
}

std::string ComposeTransferErrorReport(const std::string& description,
                                       const std::string& location, int step,
                                       const std::string& statement) {
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
  std::string text = statement_ ? ComposeTransferErrorReport(description, location_, number,
                                                             *statement_)
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
  if (Step(number, [&] { result = condition(); })) {
    if (last_failed_loop_ == number) last_failed_loop_ = -1;
    return result;
  }
  if (last_failed_loop_ == number) {
    last_failed_loop_ = -1;
    return false;
  }
  last_failed_loop_ = number;
  return true;
}

}  // namespace vq
