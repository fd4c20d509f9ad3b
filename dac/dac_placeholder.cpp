// DAC time-history files: sources arrive with the DAC subsystem.
