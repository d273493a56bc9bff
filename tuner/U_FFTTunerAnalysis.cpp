// Block analysis; filled in with the analysis.
