#ifndef FSCONFIGMODEL_H
#define FSCONFIGMODEL_H

#endif
