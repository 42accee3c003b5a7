# Test helpers shared by the Linux build and the Windows cross-build.

# morvane_x_fixture(<fixture> <display>): a pair of tests that start a private
# Xvfb server on <display> (1920x1080x24) before the tests that require
# <fixture> and stop it after them.  GUI tests set DISPLAY=<display> and
# FIXTURES_REQUIRED <fixture>.
function(morvane_x_fixture fixture display)
  set(script ${PROJECT_SOURCE_DIR}/tests/xvfb.sh)
  add_test(NAME ${fixture}_start COMMAND sh ${script} start ${display})
  add_test(NAME ${fixture}_stop COMMAND sh ${script} stop ${display})
  set_tests_properties(${fixture}_start PROPERTIES FIXTURES_SETUP ${fixture})
  set_tests_properties(${fixture}_stop PROPERTIES FIXTURES_CLEANUP ${fixture})
endfunction()
