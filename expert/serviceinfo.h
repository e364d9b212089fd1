#ifndef SERVICEINFO_H
#define SERVICEINFO_H

#endif
