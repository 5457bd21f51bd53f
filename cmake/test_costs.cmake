# Read by CTest after the discovered tests: the longest scenarios start
# first, so that on a clean clone (no timings kept from an earlier run) a
# pass with several jobs does not end waiting on one that started last.
set(zp_long_scenarios
  FaultSweep.EveryFaultAtEveryOperationLosesNothingAndOneCleanSessionCompletes
  FaultSweep.APowerCutAtEveryDesktopOperationLosesNothingAndOneCleanSessionCompletes
  SyncSession.ALostConnectionAtAnyPointLosesNoArrayAndLeavesNoPartOfOne
  LinkSession.ABrokenReplyAnywhereEndsTheSessionLosesNothingAndTheNextCompletes
  LegacyLink.ABrokenOrTricklingReplyEndsTheSessionLosesNothingAndTheNextCompletes
  LegacyLink.ASecondControlConnectionIsRefusedAndAHungHandheldIsGoneAfterThreePings)
foreach(zp_pass "" "link:" "legacy:" "wine:" "winelink:")
  foreach(zp_scenario IN LISTS zp_long_scenarios)
    set_tests_properties("${zp_pass}${zp_scenario}" PROPERTIES COST 1000)
  endforeach()
endforeach()
