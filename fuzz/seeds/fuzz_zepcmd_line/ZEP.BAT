@ECHO OFF
cd ..
CD\work
:again
REM the raytrace
echo. %1 %% done
call other.bat "a b" c
"/usr/bin/gemray" -p 41.5 42 -c 28 30 -g "SRB.gem" N N ZEP.RAW
exit 3
after
