// The WorldView repository API, as the suite's repository tools call it.
//
// C-compatible functions with the framework's names, arguments and return
// codes. Handles are opaque; every free takes the handle's address and clears
// it. A repository is an embedded SQLite file or a schema on a PostgreSQL
// server, registered under its name in $TNG_HOME/repositories.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct wv_kernel* WV_KERNEL;
typedef struct wv_repository* WV_REPOSITORY;
typedef struct wv_criteria* WV_CRITERIA;
typedef struct wv_object_list* WV_OBJECT_LIST;
typedef struct wv_object* WV_OBJECT;
typedef struct wv_property_list* WV_PROPERTY_LIST;
typedef int32_t WV_RC;

// Property types.
enum { WV_TYPE_TEXT = 0, WV_TYPE_INTEGER = 1, WV_TYPE_UUID = 10 };

// Return codes the tools rely on; any other non-zero code is a failure.
enum {
  WV_OK = 0,
  WV_DIALOG_CANCELLED = 2,  // TNGWV_RepositoryName_DisplaySelectDialog
  WV_NO_SUCH_CLASS = 10,    // GetRepositoryObject, TNGWV_Object_Delete, DeleteRepositoryClass,
                            // TNGWV_Object_Create
  WV_BATCH_END = 14,        // TNGWV_Object_GetNext: last object of a batch
  WV_LIST_END = 15,         // TNGWV_Object_GetNext: no more objects
};
// Failure codes of this implementation, for diagnostics only: 1 start or
// storage failure, 3 bad argument or handle, 4 not found (repository, status,
// choice), 11 criteria set or property list full, 12 property not read (not
// asked for, or the object lacks it), 13 class still holds objects or
// subclasses, 16 exists already, 18 name longer than its field.

enum { WV_REPOSITORY_NAME_FIELD = 32 };  // name field of ..._GetFirst

// Kernel. Success is judged by *kernel being non-null.
WV_RC TNGWV_Kernel_Start(const char* application, WV_KERNEL* kernel, int32_t reserved);
WV_RC KernelStop(WV_KERNEL* kernel);

// Repository selection and connection.
WV_RC TNGWV_Repository_Connect(WV_KERNEL kernel, const char* name, WV_REPOSITORY* repository);
WV_RC RepositoryDisconnect(WV_REPOSITORY* repository);
// Console prompt listing the repositories by number (on stderr); an empty
// answer or end of input cancels (2). WV_REPOSITORY in the environment
// chooses that name without asking.
WV_RC TNGWV_RepositoryName_DisplaySelectDialog(WV_KERNEL kernel, int32_t mode);
WV_RC TNGWV_RepositoryName_GetFirst(WV_KERNEL kernel, char name[WV_REPOSITORY_NAME_FIELD]);

// Classes. A class that still holds objects or has subclasses is not
// deleted (13): its objects are deleted or moved first.
WV_RC DeleteRepositoryClass(WV_REPOSITORY repository, const char* class_name);

// Property lists, for object creation. `value` points at the data: the
// characters of a text (length without terminator), a 4-byte integer, or
// the 16 bytes of a UUID.
WV_RC TNGWV_ObjectPropertyList_Allocate(WV_PROPERTY_LIST* list, int32_t capacity);
WV_RC ObjectPropertyListAddItem(WV_PROPERTY_LIST list, const char* property, int32_t type,
                                uint32_t length, const void* value, int32_t reserved);
WV_RC ObjectPropertyListFree(WV_PROPERTY_LIST* list);
WV_RC TNGWV_Object_Create(WV_REPOSITORY repository, const char* class_name, WV_PROPERTY_LIST list);

// Criteria: an object meets a set only when it meets every item (equality;
// `op` must be 1). A test matches only a property of the same type;
// class_name and uuid are tested like any other property. Adding beyond the
// capacity fails (11).
WV_RC TNGWV_ObjectCriteria_Allocate(WV_CRITERIA* criteria, int32_t capacity);
WV_RC ObjectCriteriaAddItem(WV_CRITERIA criteria, const char* property, int32_t type,
                            uint32_t length, const void* value, int32_t reserved, int32_t op);
WV_RC ObjectCriteriaFree(WV_CRITERIA* criteria);

// Deletes every object of the class that meets the criteria, in one transaction.
WV_RC TNGWV_Object_Delete(WV_REPOSITORY repository, const char* class_name, WV_CRITERIA criteria,
                          uint32_t* deleted);

// Query. `properties` is one comma-separated text ("name,address"); blanks
// around names are ignored. The list's membership and values are fixed at
// the query; no read transaction stays open while it is walked.
WV_RC GetRepositoryObject(WV_REPOSITORY repository, const char* class_name, WV_CRITERIA criteria,
                          const char* properties, int32_t batch, WV_OBJECT_LIST* list,
                          uint32_t* count, int32_t reserved, void** spare);
WV_RC ObjectListFree(WV_OBJECT_LIST* list);
// 0 or 14 deliver an object (14 for the last of each batch, the last, shorter
// batch of the list included), 15 at the end and at every call after it.
// The object and the values read from it stay valid until the next fetch.
WV_RC TNGWV_Object_GetNext(WV_OBJECT_LIST list, WV_OBJECT* object, int32_t reserved);
// Type 0: *value is a zero-terminated text; 1: a pointer to an int32_t;
// 10: a pointer to 16 bytes. The value is owned by the list.
WV_RC ObjectPropertyGet(WV_OBJECT object, const char* property, int32_t* type, uint32_t* length,
                        const void** value, uint8_t* flag);
WV_RC UuidValueToBinary(const void* value, uint8_t binary[16]);

// Status names.
WV_RC StatusNameToNumber(WV_REPOSITORY repository, const char* status, int32_t* number,
                         int32_t reserved);

#ifdef __cplusplus
}
#endif
