10 REM the program every device of the example runs
20 PRINT "VANTREL"
30 FOR I = 1 TO 10
40 PRINT I
50 NEXT I
60 END
