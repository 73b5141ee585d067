# Read by ctest once the tests are discovered: the longest tests start first, so
# that none of them is left running alone at the end of a run on few cores.
# Costs are seconds of a two-core run; ctest's own record of earlier runs on the
# machine takes over from them. A name no longer in the suite is passed over.
set(qvt_slow_tests
    QvtbatchTest.OldFormatsKeepEveryValueAndAreRestyled 14
    ChartWorkbook.EveryPlotGroupIsSavedAndReadBackByOpenpyxlAndLibreOffice 13
    Comments.WorkbookWithCommentsReadsBackInOpenpyxlAndLibreOffice 12
    structured_storage.FilesOfOtherWritersReadAsOlefileReadsThem 12
    TestServer.StartsAndStopsForAUserWhoIsNotRoot 11
    structured_storage.WritesIntoOtherWritersFiles 11
    XlsRestyleLibreOffice.ShowsTheSameValuesAfterRestyling 11
    QvtbatchTest.SheetsPastTheFormatsLastRowStopWithOneReportOrGoOnInNumberedWorkbooks 7
    dao/ExcelLibreOffice.ShowsTheValuesXlrdReads/biff5 6
    dao/ExcelLibreOffice.ShowsTheValuesXlrdReads/biff8 6
    WizardRun.CancelDuringALongRunHidesTheWizardStopsTheWorkerAndKeepsTheOldWorkbook 6
    OleVariant.LargeByteArraysCopyWholeAndRenderUpToTheCap 4
    QvtbatchTest.StopAtTheEndOfARunAndTheExitCodeAgreeWithWhatTheDestinationHolds 5
    QvtbatchTest.StopSignalsEndTheRunCleanlyAndKeepTheOldWorkbook 4
    storage_writer.StreamsOfEverySizeReadBackByThreeReaders 3
    QvtbatchTest.FlagOptionsChangeWhatTheyNameAndNothingElse 3
    StreamPack.StreamedPackageReadsBackInOpenpyxlAndLibreOffice 5
    BookSave.DestinationIsReplacedWholeAndKeepsItsExactName 3
    CopySession.ModesAndTimeZoneTheServersSetChangeNoCopiedValue 5
    CopySession.KeysIntoAnotherDatabaseKeepItOrAreReportedAndSkipped 4)
# The setup tests come before everything that waits for them.
set(qvt_setup_tests libreoffice_profile 100 mariadb_start 100)
foreach(list qvt_setup_tests qvt_slow_tests)
  set(entries ${${list}})
  while(entries)
    list(POP_FRONT entries name cost)
    set_tests_properties(${name} PROPERTIES COST ${cost})
  endwhile()
endforeach()
