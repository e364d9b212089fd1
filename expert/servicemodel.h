#ifndef SERVICEMODEL_H
#define SERVICEMODEL_H

#endif
