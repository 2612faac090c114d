# Runs the vellquist-sql binary and checks what a script relies on: the exit
# status, and a single "error NUMBER: DESCRIPTION" line on standard error.

function(expect_run expected_rc stderr_regex)
  execute_process(COMMAND ${TOOL} ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_rc)
    message(FATAL_ERROR "vellquist-sql ${ARGN}: exit ${rc}, wanted ${expected_rc}\nstdout: ${out}\nstderr: ${err}")
  endif()
  if(NOT err MATCHES "${stderr_regex}")
    message(FATAL_ERROR "vellquist-sql ${ARGN}: stderr \"${err}\" does not match \"${stderr_regex}\"")
  endif()
  if(NOT rc EQUAL 0 AND NOT out STREQUAL "")
    message(FATAL_ERROR "vellquist-sql ${ARGN}: printed \"${out}\" before failing")
  endif()
endfunction()

expect_run(1 "^error -2146824582: [^\n]*Nope[^\n]*\n$" --connect "Provider=Nope;" --tables)
expect_run(1 "^error -2146824582: [^\n]+\n$" --connect "Data Source=x" --execute "SELECT 1")
expect_run(2 "--connect is required" --tables)
expect_run(2 "nothing to do" --connect "Provider=Nope;")
expect_run(2 "unknown option" --connect "Provider=Nope;" --tables --frobnicate)
expect_run(2 "needs a value" --connect "Provider=Nope;" --query)
expect_run(2 "client or server" --connect "Provider=Nope;" --cursor-location sideways --tables)
expect_run(0 "^$" --help)
expect_run(2 "cannot read the script" --connect "Provider=Nope;" --script /no/such/script.sql)

# --encrypt works on a file alone: usage errors, and the engine's refusals as error lines.
expect_run(2 "needs --scheme and --password" --encrypt /no/such.accdb --scheme rc4-128)
expect_run(2 "--password needs a value" --encrypt /no/such.accdb --scheme rc4-128 --password)
expect_run(2 "takes a number" --encrypt /no/such.accdb --scheme rc4-128 --password p --spin-count x)
expect_run(1 "^error -2146825037: Unknown encryption \"rc5\"[^\n]*\n$"
           --encrypt /no/such.accdb --scheme rc5 --password p)
expect_run(1 "^error -2147467259: Could not read[^\n]*\n$"
           --encrypt /no/such.accdb --scheme agile-aes256-sha512 --password p)
