# praat --run pitch_ac.praat LIST PITCHES TIMES STEP FLOOR CEILING: Praat's
# autocorrelation pitch of every file LIST names. PITCHES: file, tracker, frame
# time, Hz (0 unvoiced); TIMES: the seconds "To Pitch (ac)" took per file, by
# Praat's own stopwatch (reading the file and writing the frames not counted).
form Pitch of every file
    sentence list
    sentence pitches
    sentence times
    real step
    real floor
    real ceiling
endform
writeFileLine: pitches$, "#file", tab$, "tracker", tab$, "time_s", tab$, "hz"
writeFileLine: times$, "#file", tab$, "samples", tab$, "seconds"
files = Read Strings from raw text file: list$
n = Get number of strings
for f to n
    selectObject: files
    file$ = Get string: f
    sound = Read from file: file$
    samples = Get number of samples
    stopwatch
    pitch = To Pitch (ac): step, floor, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, ceiling
    seconds = stopwatch
    frames = Get number of frames
    text$ = ""
    for i to frames
        t = Get time from frame number: i
        hz = Get value in frame: i, "Hertz"
        if hz = undefined
            hz = 0
        endif
        text$ = text$ + file$ + tab$ + "praat ac" + tab$ + fixed$(t, 6) + tab$ + fixed$(hz, 4) + newline$
    endfor
    appendFile: pitches$, text$
    appendFileLine: times$, file$, tab$, samples, tab$, fixed$(seconds, 9)
    removeObject: sound, pitch
endfor
