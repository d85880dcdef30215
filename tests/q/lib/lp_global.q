function s = lp_global()
global LOOPSUM
s = LOOPSUM;
