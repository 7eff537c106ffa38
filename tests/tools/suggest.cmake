# Suggested moves end to end (scripts/suggest_contact_sheet.sh): 20 mixed pictures through
# `kinevista-cli new --move auto`, a `batch` movie per show, and a contact sheet of each show's
# first and last frame left in the build folder (suggest_sheet/contact_sheet.png). It renders
# twenty movies, so it carries the label "slow".
if(TARGET kinevista-cli AND TARGET kv_output)
  add_test(NAME cli_suggest_contact_sheet
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/suggest_contact_sheet.sh
                   $<TARGET_FILE:kinevista-cli> ${CMAKE_BINARY_DIR}/suggest_sheet)
  # The longest of the tests outside the X sessions (80 s; 130 s under the address sanitizer):
  # it starts with the first ones (COST) rather than last, where a clean clone, with no times
  # of its own yet, would put it and leave the other core idle while it runs.
  set_tests_properties(cli_suggest_contact_sheet PROPERTIES LABELS "slow" TIMEOUT 900 COST 5000)
endif()
