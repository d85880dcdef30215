function pc_setlevel(level)
% Sets the global log level read by pc_log.
global PC_LOG_LEVEL
PC_LOG_LEVEL = level;
